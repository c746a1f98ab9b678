#include "AdapterNetwork.h"
#include "CaptureStdout.h"
#include "RecordText.h"
#include "SetNetwork.h"

#include <QCryptographicHash>
#include <QTest>

#include <cstring>

namespace {
QByteArray bytesOf(const CameraInfo &info)
{
    return QByteArray(reinterpret_cast<const char *>(&info), sizeof info);
}

// A reply as a device might send it: every byte set, texts with something behind their NUL.
CameraInfo deviceReply()
{
    CameraInfo info;
    auto *bytes = reinterpret_cast<unsigned char *>(&info);
    for (std::size_t i = 0; i < sizeof info; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 1);
    info.header.cmd = CMD_SEARCH_REPLY;
    info.header.result = 0x11223344;
    std::memcpy(info.mac_addr, "00:1A:2B:3C:4D:5E\0tail", 22);
    std::memcpy(info.ip_addr, "10.77.1.20\0behind", 17);
    std::memcpy(info.subnet_mask, "255.255.255.0\0behind", 20);
    std::memcpy(info.gateway, "10.77.1.1\0behind", 16);
    std::memcpy(info.dns, "10.77.1.53\0behind", 17);
    std::memcpy(info.header.user_id, "admin\0behind", 12);
    info.web_port = 80;
    info.dhcp = 0;
    return info;
}

CNetworkAdapterObj adapter(const char *name, const char *address, int prefix)
{
    CNetworkAdapterObj a;
    a.m_strName = QLatin1String(name);
    a.m_strAddress = QLatin1String(address);
    a.m_nPrefixLength = prefix;
    return a;
}
} // namespace

class TestSetNetwork : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestCarriesTheEditsAndTheDevicesOwnBytes()
    {
        const CameraInfo found = deviceReply();
        NetworkEdits edits = EditsOf(found);
        edits.ipAddress = QStringLiteral("10.77.1.31");
        edits.webPort = 8081 + 65536; // only the low 16 bits
        edits.dhcp = 1;
        edits.password = QStringLiteral("secret");
        CameraInfo request;
        const QByteArray trace = CaptureStdout([&] { request = MakeSetNetworkRequest(found, edits); });

        QCOMPARE(request.header.cmd, CMD_SET_NETWORK);
        QCOMPARE(ReadText(request.ip_addr), QByteArray("10.77.1.31"));
        QCOMPARE(request.web_port, 8081);
        QCOMPARE(request.dhcp, 1);
        const QByteArray digest = QCryptographicHash::hash(QByteArray("secret", 7), QCryptographicHash::Md5);
        QCOMPARE(QByteArray(request.header.pass_wd, 16), digest);

        // Every byte not edited is the device's own, what lies behind a text's NUL included.
        CameraInfo expected = found;
        expected.header.cmd = CMD_SET_NETWORK;
        std::memcpy(expected.ip_addr, "10.77.1.31", 11); // "behind" stays after the new NUL
        expected.web_port = 8081;
        expected.dhcp = 1;
        std::memcpy(expected.header.pass_wd, digest.constData(), 16);
        QCOMPARE(bytesOf(request).toHex(), bytesOf(expected).toHex());

        QCOMPARE(trace, QByteArray("pObj->m_CameraInfo.header.pass_wd=[********]\n"));
    }

    void theDigestNeverReachesTheTrace()
    {
        // Digests with a zero byte late, early and first: no byte of any is printed.
        for (const char *password : {"", "secret", "admin", "12345678"}) {
            CameraInfo record{};
            NetworkEdits edits;
            edits.password = QLatin1String(password);
            const QByteArray trace = CaptureStdout([&] { QVERIFY(WriteEdits(record, edits)); });
            const QByteArray digest(record.header.pass_wd, 16);
            QVERIFY(!trace.contains(digest.toHex()) && !trace.contains(digest.toHex().toUpper()));
            QVERIFY(!trace.contains(ReadText(record.header.pass_wd)) || ReadText(record.header.pass_wd).isEmpty());
            QVERIFY(trace.endsWith("=[********]\n"));
        }
    }

    void answersAreMatchedByTheirMacText()
    {
        const CameraInfo device = deviceReply();
        CameraInfo answer{};
        answer.header.cmd = CMD_SET_NETWORK;
        WriteText(answer.mac_addr, "00:1A:2B:3C:4D:5E"); // nothing behind the NUL: still the same text
        QVERIFY(IsAnswerFrom(answer, device));

        WriteText(answer.mac_addr, "00:1a:2b:3c:4d:5e");
        QVERIFY(!IsAnswerFrom(answer, device)); // exact, case-sensitive
        WriteText(answer.mac_addr, "00:1A:2B:3C:4D:5E ");
        QVERIFY(!IsAnswerFrom(answer, device));
        WriteText(answer.mac_addr, "00:1A:2B:3C:4D:5E");
        answer.header.cmd = CMD_SEARCH_REPLY;
        QVERIFY(!IsAnswerFrom(answer, device)); // a search reply is no answer

        QCOMPARE(QLatin1String(ResultMessage(RESULT_LOGIN_FAILED)), QLatin1String("Failed. login failed"));
        QCOMPARE(ResultMessage(7), nullptr);
    }

    void adapterNetworks()
    {
        const CNetworkAdapterObj veth = adapter("veth1", "10.77.1.1", 24);
        QCOMPARE(AdapterNetworkText(veth), QStringLiteral("10.77.1.0/24"));
        QVERIFY(IsInAdapterNetwork(veth, QStringLiteral("10.77.1.200")));
        QVERIFY(!IsInAdapterNetwork(veth, QStringLiteral("10.77.2.2")));
        QVERIFY(!IsInAdapterNetwork(veth, QStringLiteral("not an address")));
        QVERIFY(!IsInAdapterNetwork(veth, QString()));

        const CNetworkAdapterObj wide = adapter("eth0", "172.16.5.9", 12);
        QCOMPARE(AdapterNetworkText(wide), QStringLiteral("172.16.0.0/12"));
        QVERIFY(IsInAdapterNetwork(wide, QStringLiteral("172.31.255.1")));
        QVERIFY(!IsInAdapterNetwork(wide, QStringLiteral("172.32.0.1")));
        QCOMPARE(AdapterNetworkText(adapter("ppp0", "10.0.0.5", 32)), QStringLiteral("10.0.0.5/32"));
        QCOMPARE(AdapterNetworkText(adapter("any", "10.0.0.5", 0)), QStringLiteral("0.0.0.0/0"));

        for (const CNetworkAdapterObj &unknown : {adapter("d0", "", -1), adapter("x", "10.0.0.5", -1)}) {
            QCOMPARE(AdapterNetworkText(unknown), QString());
            QVERIFY(!IsInAdapterNetwork(unknown, QStringLiteral("10.0.0.6")));
        }
    }

    void onlyAnAdapterWithIPv4AddressIsUsed()
    {
        const CNetworkAdapterObj d0 = adapter("d0", "", -1);
        bool usable = true;
        QCOMPARE(CaptureStdout([&] { usable = CanSendThrough(nullptr); }), QByteArray());
        QVERIFY(!usable);
        QCOMPARE(CaptureStdout([&] { usable = CanSendThrough(&d0); }),
                 QByteArray("adapter d0 has no IPv4 address: nothing sent\n"));
        QVERIFY(!usable);
        const CNetworkAdapterObj veth = adapter("veth1", "10.77.1.1", 24);
        QVERIFY(CanSendThrough(&veth));
        QCOMPARE(NothingSentReason(&d0),
                 QStringLiteral("The network adapter d0 has no IPv4 address: nothing was sent."));
        QCOMPARE(NothingSentReason(nullptr), QStringLiteral("Select a network adapter first: nothing was sent."));
    }
};

QTEST_APPLESS_MAIN(TestSetNetwork)
#include "tst_setnetwork.moc"
