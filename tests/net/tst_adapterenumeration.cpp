#include "AdapterEnumeration.h"
#include "CaptureStdout.h"
#include "TestNetwork.h"

#include <QTest>

namespace {
QHostAddress ip(const char *text)
{
    return QHostAddress(QString::fromLatin1(text));
}
} // namespace

class TestAdapterEnumeration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void madeUpInterfaces()
    {
        const QList<HostInterface> interfaces{
            {QStringLiteral("Ethernet"), {{ip("fe80::1"), 64}, {ip("192.168.0.10"), 24}}},
            {QStringLiteral("Tunnel"), {ip("fe80::2"), ip("2001:db8::5")}},
            {QStringLiteral("Wi-Fi"), {{ip("10.0.0.7"), 8}, {ip("fe80::3"), 64}, {ip("172.16.1.9"), 16}}},
            {QStringLiteral("Loopback Pseudo-Interface 1"), {ip("127.0.0.1")}},
            {QStringLiteral("Disconnected"), {}},
        };
        std::vector<std::unique_ptr<CNetworkAdapterObj>> adapters;
        const QByteArray trace = CaptureStdout([&] { adapters = EnumerateAdapters(interfaces); });

        QCOMPARE(trace, QByteArray("\tIPv6 \tIPv4 \tIPv6 \tIPv6 \tIPv4 \tIPv6 \tIPv4 \tIPv4 "));
        QCOMPARE(adapters.size(), size_t(5));
        QStringList texts;
        for (const auto &adapter : adapters) {
            texts << AdapterComboText(*adapter);
            QCOMPARE(adapter->m_nIfIndex, -1);
        }
        QCOMPARE(texts, QStringList({QStringLiteral("Ethernet: 192.168.0.10"), QStringLiteral("Tunnel: "),
                                     QStringLiteral("Wi-Fi: 172.16.1.9"),
                                     QStringLiteral("Loopback Pseudo-Interface 1: 127.0.0.1"),
                                     QStringLiteral("Disconnected: ")}));
        QVERIFY(adapters[1]->m_strAddress.isEmpty());
        // The prefix goes with the IPv4 address that won; unknown stays -1.
        QCOMPARE(adapters[0]->m_nPrefixLength, 24);
        QCOMPARE(adapters[1]->m_nPrefixLength, -1);
        QCOMPARE(adapters[2]->m_nPrefixLength, 16);
        QCOMPARE(adapters[3]->m_nPrefixLength, -1);
    }

    void overlongNameIsCutToFit()
    {
        const QList<HostInterface> interfaces{{QString(600, QChar(0x00e9)), {}}}; // two bytes each in UTF-8
        std::vector<std::unique_ptr<CNetworkAdapterObj>> adapters;
        CaptureStdout([&] { adapters = EnumerateAdapters(interfaces); });
        QVERIFY(adapters[0]->m_strName.toLocal8Bit().size() <= 511);
        QVERIFY(adapters[0]->m_strName.size() >= 255);
    }

    void systemOrderInTheTestNamespace()
    {
        if (qEnvironmentVariableIsEmpty("CORVANE_NETNS_HOST"))
            QSKIP("runs in the namespaces of netns-run.sh (ctest -R tst_adapterenumeration_namespace)");
        QVERIFY(TestNetwork::InPrivateNamespace());
        std::vector<std::unique_ptr<CNetworkAdapterObj>> adapters;
        CaptureStdout([&] { adapters = EnumerateAdapters(SystemInterfaces()); });
        QStringList texts;
        QList<int> prefixes;
        for (const auto &adapter : adapters) {
            texts << AdapterComboText(*adapter);
            prefixes << adapter->m_nPrefixLength;
        }
        QCOMPARE(texts, QStringList({QStringLiteral("lo: 127.0.0.1"), QStringLiteral("veth1: 10.77.1.1"),
                                     QStringLiteral("veth2: 10.77.2.1")}));
        QCOMPARE(prefixes, QList<int>({8, 24, 24}));
    }
};

QTEST_APPLESS_MAIN(TestAdapterEnumeration)
#include "tst_adapterenumeration.moc"
