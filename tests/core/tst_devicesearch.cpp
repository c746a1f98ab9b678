#include "AdapterNetwork.h"
#include "CHalvetranoDlg.h"
#include "CaptureStdout.h"
#include "DeviceSearch.h"
#include "RecordText.h"
#include "SetNetwork.h"
#include "TestNetwork.h"
#include "Veth1Adapter.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace TestNetwork;

namespace {
struct Found
{
    QByteArray mac;
    DeviceFamily family;
    CameraInfo record;
};

// Collects what a search reports.
struct Collector
{
    QList<Found> found;
    QList<CameraInfo> answers;

    explicit Collector(DeviceSearch &search)
    {
        QObject::connect(&search, &DeviceSearch::deviceFound, [this](const CameraInfo &record, DeviceFamily family) {
            found.append({ReadText(record.mac_addr), family, record});
        });
        QObject::connect(&search, &DeviceSearch::setNetworkAnswer,
                         [this](const CameraInfo &answer) { answers.append(answer); });
    }

    const Found *Of(const QByteArray &mac) const
    {
        for (const Found &f : found) {
            if (f.mac == mac)
                return &f;
        }
        return nullptr;
    }
};

void sendToReplyPort(const QByteArray &datagram)
{
    TestNetwork::SendToLocalPort(datagram, REPLY_PORT);
}

CameraInfo reply(const char *mac)
{
    CameraInfo info{};
    info.header.cmd = CMD_SEARCH_REPLY;
    WriteText(info.mac_addr, mac);
    WriteText(info.ip_addr, "10.77.1.20");
    return info;
}

QByteArray bytesOf(const CameraInfo &info)
{
    return QByteArray(reinterpret_cast<const char *>(&info), sizeof info);
}
} // namespace

class TestDeviceSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void eachDeviceOnceAcrossBothFamilies()
    {
        // Every answer twice, and one vendor device with the MAC of an own-family one.
        DevSim sim;
        QVERIFY(sim.Start({QStringLiteral("--answer-twice"), QStringLiteral("--device"),
                           QStringLiteral("mac=00:1A:2B:3C:4D:01,ip=10.77.1.21"), QStringLiteral("--device"),
                           QStringLiteral("mac=00:1A:2B:3C:4D:02,ip=10.77.1.22"), QStringLiteral("--device"),
                           QStringLiteral("family=vendor,mac=5C:F2:07:00:10:01,ip=10.77.1.2,mediaPort=8001"),
                           QStringLiteral("--device"),
                           QStringLiteral("family=vendor,mac=5C:F2:07:00:10:02,ip=10.77.1.2,mediaPort=8002"),
                           QStringLiteral("--device"),
                           QStringLiteral("family=vendor,mac=00:1A:2B:3C:4D:01,ip=10.77.1.2,mediaPort=8003")}));
        CHalvetranoDlg vendor;
        DeviceSearch search;
        search.SetVendorWindow(&vendor);
        QSignalSpy done(&search, &DeviceSearch::vendorDone);
        Collector c(search);
        const CNetworkAdapterObj adapter = veth1();
        QCOMPARE(AdapterNetworkText(adapter), QStringLiteral("10.77.1.0/24"));

        QVERIFY(search.Start(&adapter));
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 8000);
        QTest::qWait(200); // late own-family answers still count, and must not repeat
        QCOMPARE(c.found.size(), 4);
        for (const char *mac : {"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02", "5C:F2:07:00:10:01", "5C:F2:07:00:10:02"})
            QVERIFY2(c.Of(mac), mac);
        QCOMPARE(c.Of("00:1A:2B:3C:4D:02")->family, DeviceFamily::Own);
        QCOMPARE(c.Of("5C:F2:07:00:10:02")->family, DeviceFamily::Vendor);
        QCOMPARE(c.Of("5C:F2:07:00:10:02")->record.media_port, 8002);
        QCOMPARE(QLatin1String(FamilyName(c.Of("5C:F2:07:00:10:01")->family)), QLatin1String("vendor"));
        QCOMPARE(QLatin1String(FamilyName(DeviceFamily::Own)), QLatin1String("own"));

        // A new search reports them all again, on a new socket.
        QVERIFY(search.Start(&adapter));
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 8000);
        QTRY_COMPARE(c.found.size(), 8);
    }

    void repliesWithoutMacAreDropped()
    {
        DeviceSearch search;
        Collector c(search);
        QVERIFY(search.OpenReplySocket());
        const QByteArray trace = CaptureStdout([&] {
            sendToReplyPort(bytesOf(reply("00:00:00:00:00:0A")));
            QTRY_COMPARE(c.found.size(), 1);
            sendToReplyPort(QByteArray(1, '\x04')); // zero-filled, it reads as a search reply
            sendToReplyPort(bytesOf(reply("")));
            sendToReplyPort(bytesOf(reply("00:00:00:00:00:0B")));
            QTRY_COMPARE(c.found.size(), 2);
        });
        QCOMPARE(c.found.at(1).mac, QByteArray("00:00:00:00:00:0B"));
        QCOMPARE(trace.count("device without MAC address dropped\n"), 2);
        QVERIFY(!search.Offer(reply("")));
        QVERIFY(!search.Offer(reply("00:00:00:00:00:0A"))); // as a duplicate
    }

    void answersReachTheirRequest()
    {
        DevSim sim;
        QVERIFY(sim.Start(
            {QStringLiteral("--device"), QStringLiteral("mac=00:1A:2B:3C:4D:01,ip=10.77.1.21,password=secret"),
             QStringLiteral("--device"), QStringLiteral("mac=00:1A:2B:3C:4D:02,ip=10.77.1.22,password=other")}));
        DeviceSearch search;
        Collector c(search);
        const CNetworkAdapterObj adapter = veth1();
        QVERIFY(search.Start(&adapter));
        QTRY_COMPARE(c.found.size(), 2);
        const CameraInfo first = c.Of("00:1A:2B:3C:4D:01")->record;
        const CameraInfo second = c.Of("00:1A:2B:3C:4D:02")->record;

        NetworkEdits edits = EditsOf(first);
        edits.ipAddress = QStringLiteral("10.77.1.31");
        edits.userId = QStringLiteral("admin"); // replies carry no user ID
        edits.password = QStringLiteral("secret");
        CameraInfo edited = first;
        CaptureStdout([&] {
            WriteEdits(edited, edits);
            QVERIFY(SendSetNetworkRequest(&adapter, edited, DEVICE_PORT));
        });
        QTRY_COMPARE(c.answers.size(), 1);
        QVERIFY(IsAnswerFrom(c.answers.first(), first));
        QVERIFY(!IsAnswerFrom(c.answers.first(), second));
        QCOMPARE(QLatin1String(ResultMessage(c.answers.first().header.result)), QLatin1String("Apply"));

        // On the wire: the request made from the found record and the edits, 371 bytes of it.
        CameraInfo request;
        CaptureStdout([&] { request = MakeSetNetworkRequest(first, edits); });
        const QJsonObject logged = sim.Log().last();
        QCOMPARE(logged.value(QLatin1String("hex")).toString().toLatin1(), bytesOf(request).left(371).toHex());

        // The other device refuses the wrong password; its answer is its own.
        edits = EditsOf(second);
        edits.userId = QStringLiteral("admin");
        edits.password = QStringLiteral("secret");
        CaptureStdout(
            [&] { QVERIFY(SendSetNetworkRequest(&adapter, MakeSetNetworkRequest(second, edits), DEVICE_PORT)); });
        QTRY_COMPARE(c.answers.size(), 2);
        QVERIFY(IsAnswerFrom(c.answers.last(), second));
        QCOMPARE(QLatin1String(ResultMessage(c.answers.last().header.result)), QLatin1String("Failed. login failed"));
    }

    void replyPortTaken()
    {
        DevSim holder(0);
        QVERIFY(holder.Start({QStringLiteral("--device-port"), QString::number(REPLY_PORT)}));
        DevSim sim;
        QVERIFY(sim.Start({}));
        DeviceSearch search;
        const CNetworkAdapterObj adapter = veth1();
        QVERIFY(!search.Start(&adapter));
        QVERIFY(!search.ReplySocket());
        QVERIFY(sim.WaitForLog(1)); // the request still went out
    }
};

QTEST_GUILESS_MAIN(TestDeviceSearch)
#include "tst_devicesearch.moc"
