// WS-Discovery end to end, in the namespaces of netns-run.sh, against corvane-devsim's ONVIF
// devices: what is listed, through which adapter the probes leave, and what is refused.

#include "AdapterEnumeration.h"
#include "CaptureStdout.h"
#include "OnvifDiscovery.h"
#include "TestNetwork.h"
#include "WsDiscoveryMessages.h"

#include <QJsonObject>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <QUuid>
#include <QVariant>

using namespace TestNetwork;

namespace {
CNetworkAdapterObj hostAdapter(const QString &name)
{
    std::vector<std::unique_ptr<CNetworkAdapterObj>> adapters;
    CaptureStdout([&] { adapters = EnumerateAdapters(SystemInterfaces()); });
    for (const auto &adapter : adapters) {
        if (adapter->m_strName == name)
            return *adapter;
    }
    return {};
}

// The simulator's endpoint for a device of this MAC, as it makes one.
QString endpointOf(const char *mac)
{
    return NormalisedWsId(QUuid::createUuidV5(QUuid(), QLatin1String(mac)).toString(QUuid::WithoutBraces));
}

struct Collector
{
    QList<OnvifDevice> found;
    QList<OnvifDevice> changed;
    QStringList left;

    explicit Collector(OnvifDiscovery &discovery)
    {
        QObject::connect(&discovery, &OnvifDiscovery::deviceFound,
                         [this](const OnvifDevice &device) { found.append(device); });
        QObject::connect(&discovery, &OnvifDiscovery::deviceChanged,
                         [this](const OnvifDevice &device) { changed.append(device); });
        QObject::connect(&discovery, &OnvifDiscovery::deviceLeft,
                         [this](const QString &endpoint) { left.append(endpoint); });
    }

    const OnvifDevice *Of(const char *mac) const
    {
        for (const OnvifDevice &device : found) {
            if (NormalisedWsId(device.endpoint) == endpointOf(mac))
                return &device;
        }
        return nullptr;
    }
};

QList<QByteArray> probesReceived(const DevSim &sim)
{
    QList<QByteArray> probes;
    for (const QByteArray &datagram : ReceivedDatagrams(sim, QLatin1String("onvif"))) {
        const auto message = ParseWsDiscovery(datagram);
        if (message && message->kind == WsDiscoveryMessage::Kind::Probe)
            probes << datagram;
    }
    return probes;
}

bool search(OnvifDiscovery &discovery, const CNetworkAdapterObj &adapter)
{
    QSignalSpy finished(&discovery, &OnvifDiscovery::finished);
    return discovery.Start(adapter) && finished.wait(15000);
}
} // namespace

class TestOnvifDiscovery final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test multicasts"); }

    void listsExactlyTheSimulatorsOnvifDevices()
    {
        DevSim sim(1);
        QVERIFY(sim.Start({
            QStringLiteral("--device"),
            QStringLiteral("family=onvif,mac=02:20:00:00:00:01,ip=10.77.1.21"),
            QStringLiteral("--device"),
            QStringLiteral("family=onvif,mac=02:20:00:00:00:02,ip=10.77.1.22,nvtOnly=1"),
            QStringLiteral("--device"),
            QStringLiteral("family=onvif,mac=02:20:00:00:00:03,ip=10.77.1.23,uuidForm=uuid"),
            QStringLiteral("--device"),
            QStringLiteral("family=onvif,mac=02:20:00:00:00:04,ip=10.77.1.24,linkLocalFirst=1"),
            QStringLiteral("--device"),
            QStringLiteral("family=onvif,mac=02:20:00:00:00:05,ip=10.77.1.25,bigAnswer=1"),
            QStringLiteral("--device"),
            QStringLiteral("family=onvif,mac=02:20:00:00:00:06,ip=10.77.1.26,macScope=1"),
            QStringLiteral("--device"),
            QStringLiteral("family=onvif,mac=02:20:00:00:00:07,ip=10.77.1.27,foreignXAddr=10.77.2.1"),
            QStringLiteral("--device"),
            QStringLiteral("family=own,mac=00:1A:2B:3C:4D:01,ip=10.77.1.31"),
            QStringLiteral("--answer-spread"),
            QStringLiteral("300"),
        }));
        const CNetworkAdapterObj veth1 = hostAdapter(QStringLiteral("veth1"));
        QVERIFY(!veth1.m_strAddress.isEmpty());
        OnvifDiscovery discovery;
        Collector collector(discovery);
        QVERIFY(search(discovery, veth1));

        // Each once, though most answer both probes in both rounds.
        QCOMPARE(collector.found.size(), 7);
        QVERIFY(collector.changed.isEmpty());
        QSet<QString> endpoints;
        for (const OnvifDevice &device : std::as_const(collector.found))
            endpoints.insert(NormalisedWsId(device.endpoint));
        QCOMPARE(endpoints.size(), 7);
        for (const char *mac : {"02:20:00:00:00:01", "02:20:00:00:00:02", "02:20:00:00:00:03", "02:20:00:00:00:04",
                                "02:20:00:00:00:05", "02:20:00:00:00:06", "02:20:00:00:00:07"})
            QVERIFY2(collector.Of(mac), mac);

        const OnvifDevice &plain = *collector.Of("02:20:00:00:00:01");
        QCOMPARE(plain.serviceAddress, QUrl(QStringLiteral("http://10.77.1.21/onvif/device_service")));
        QVERIFY(plain.credentialsSafe);
        QCOMPARE(plain.answerSource, QHostAddress(QStringLiteral("10.77.1.21")));
        QCOMPARE(plain.types, (QStringList{kWsTypeNetworkVideoTransmitter, kWsTypeDevice}));
        QCOMPARE(plain.hardware, QStringLiteral("OV-4000"));
        QCOMPARE(plain.name, QStringLiteral("Ostrava Optics"));
        QVERIFY(plain.mac.isEmpty()); // no MacAddress scope
        QVERIFY(plain.endpoint.startsWith(QLatin1String("urn:uuid:")));
        QCOMPARE(collector.Of("02:20:00:00:00:02")->types, QStringList{kWsTypeNetworkVideoTransmitter});
        QVERIFY(collector.Of("02:20:00:00:00:03")->endpoint.startsWith(QLatin1String("uuid:")));
        const OnvifDevice &linkLocal = *collector.Of("02:20:00:00:00:04");
        QCOMPARE(linkLocal.xaddrs.size(), 2);
        QVERIFY(linkLocal.xaddrs.front().contains(QLatin1String("169.254.")));
        QCOMPARE(linkLocal.serviceAddress, QUrl(QStringLiteral("http://10.77.1.24/onvif/device_service")));
        QCOMPARE(collector.Of("02:20:00:00:00:05")->serviceAddress,
                 QUrl(QStringLiteral("http://10.77.1.25/onvif/device_service")));
        QCOMPARE(collector.Of("02:20:00:00:00:06")->mac, QStringLiteral("02:20:00:00:00:06"));
        // Names the host's other segment: no password may go there.
        const OnvifDevice &foreign = *collector.Of("02:20:00:00:00:07");
        QCOMPARE(foreign.serviceAddress.host(), QStringLiteral("10.77.2.1"));
        QVERIFY(!foreign.credentialsSafe);

        // The probes left from veth1's address and the probes' port: both types, two rounds,
        // each with its repeats.
        const OnvifDiscoveryStats stats = discovery.Stats();
        QVERIFY(stats.rounds >= 2);
        const QList<QByteArray> probes = probesReceived(sim);
        QCOMPARE(probes.size(), stats.probesSent);
        QSet<QString> ids;
        QSet<QString> types;
        for (const QByteArray &probe : probes) {
            const auto message = ParseWsDiscovery(probe);
            ids.insert(message->messageId);
            types.insert(message->probeTypes.join(QLatin1Char(' ')));
        }
        QCOMPARE(ids.size(), 2 * stats.rounds);
        QCOMPARE(types, (QSet<QString>{kWsTypeDevice, kWsTypeNetworkVideoTransmitter}));
        const auto log = sim.Log();
        for (const QJsonObject &line : log) {
            if (line.value(QLatin1String("protocol")).toString() != QLatin1String("onvif"))
                continue;
            QCOMPARE(line.value(QLatin1String("from")).toString(), kHostAddress1);
            QCOMPARE(line.value(QLatin1String("port")).toInt(), int(discovery.ProbePort()));
        }
        QCOMPARE(stats.answersRefused, 0);
        QVERIFY(stats.dropped <= 0); // -1: Windows cannot tell
        QCOMPARE(stats.droppedAfterLastRound, 0);
    }

    void nothingLeavesThroughTheAdapterNotChosen()
    {
        // A device on the other segment hears nothing, nor is it listed; and the other way round,
        // where veth1 is also the host's default route.
        DevSim sim2(2);
        QVERIFY(sim2.Start(
            {QStringLiteral("--device"), QStringLiteral("family=onvif,mac=02:20:00:00:01:01,ip=10.77.2.21")}));
        DevSim sim1(1);
        QVERIFY(sim1.Start(
            {QStringLiteral("--device"), QStringLiteral("family=onvif,mac=02:20:00:00:01:02,ip=10.77.1.21")}));

        OnvifDiscovery discovery;
        Collector through1(discovery);
        QVERIFY(search(discovery, hostAdapter(QStringLiteral("veth1"))));
        QCOMPARE(through1.found.size(), 1);
        QVERIFY(through1.Of("02:20:00:00:01:02"));
        QVERIFY(probesReceived(sim2).isEmpty());
        QVERIFY(!probesReceived(sim1).isEmpty());

        const qsizetype heardBy1 = probesReceived(sim1).size();
        OnvifDiscovery other;
        Collector through2(other);
        QVERIFY(search(other, hostAdapter(QStringLiteral("veth2"))));
        QCOMPARE(through2.found.size(), 1);
        QVERIFY(through2.Of("02:20:00:00:01:01"));
        QCOMPARE(probesReceived(sim1).size(), heardBy1);
    }

    void dropsAnswersItCannotUse()
    {
        const CNetworkAdapterObj veth1 = hostAdapter(QStringLiteral("veth1"));
        OnvifDiscoveryOptions options;
        options.group = QHostAddress(QStringLiteral("239.255.255.251")); // nobody answers there
        OnvifDiscovery discovery(options);
        Collector collector(discovery);
        QVERIFY(discovery.Start(veth1));
        const quint16 port = discovery.ProbePort();
        QVERIFY(port != 0);

        const QByteArray foreign =
            "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
            "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><s:Header><a:RelatesTo>urn:uuid:00000000-"
            "1111-2222-3333-444444444444</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch><a:"
            "EndpointReference><a:Address>urn:uuid:abcdef00-0000-0000-0000-000000000001</a:Address></"
            "a:EndpointReference><d:XAddrs>http://10.77.1.40/onvif/device_service</d:XAddrs></d:ProbeMatch></"
            "d:ProbeMatches></s:Body></s:Envelope>";
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(kHostAddress1), 0));
        const QList<QByteArray> bad{foreign, foreign.left(foreign.size() / 2), QByteArray("<<<not xml"),
                                    QByteArray(65000, '<'), QByteArray()};
        for (const QByteArray &datagram : bad)
            sender.writeDatagram(datagram, QHostAddress(kHostAddress1), port);
        QTRY_COMPARE_WITH_TIMEOUT(discovery.Stats().answersRefused, bad.size(), 5000);
        QVERIFY(collector.found.isEmpty());
        discovery.Stop();
    }

    void twoSearchesNeverShareAPort()
    {
        // Each search's sockets share one port among themselves (SO_REUSEPORT) and with no one
        // else: a second search, through the same adapter, gets a port of its own.
        const CNetworkAdapterObj veth1 = hostAdapter(QStringLiteral("veth1"));
        OnvifDiscoveryOptions options;
        options.group = QHostAddress(QStringLiteral("239.255.255.251")); // nobody answers there
        OnvifDiscovery first(options);
        OnvifDiscovery second(options);
        QVERIFY(first.Start(veth1));
        QVERIFY(second.Start(veth1));
        QVERIFY(first.ProbePort() != 0);
        QVERIFY(second.ProbePort() != 0);
        QVERIFY(first.ProbePort() != second.ProbePort());
        if (!UnderWine())
            QCOMPARE(first.Stats().sockets, 16);
        QVERIFY(first.Stats().receiveBufferBytes > 0);
        // A plain socket cannot take the port either.
        QUdpSocket intruder;
        QVERIFY(!intruder.bind(QHostAddress(kHostAddress1), first.ProbePort()));
        first.Stop();
        QCOMPARE(first.ProbePort(), quint16(0));
    }

    void hearsHelloAndBye()
    {
        const CNetworkAdapterObj veth1 = hostAdapter(QStringLiteral("veth1"));
        OnvifDiscovery discovery;
        Collector collector(discovery);
        QVERIFY(discovery.ListenForAnnouncements(veth1));
        // Devices say Hello as they come up.
        DevSim sim(1);
        QVERIFY(
            sim.Start({QStringLiteral("--onvif-hello"), QStringLiteral("--device"),
                       QStringLiteral("family=onvif,mac=02:20:00:00:02:01,ip=10.77.1.41"), QStringLiteral("--device"),
                       QStringLiteral("family=onvif,mac=02:20:00:00:02:02,ip=10.77.1.42,uuidForm=uuid")}));
        QTRY_COMPARE_WITH_TIMEOUT(collector.found.size(), 2, 5000);
        QCOMPARE(collector.Of("02:20:00:00:02:01")->serviceAddress,
                 QUrl(QStringLiteral("http://10.77.1.41/onvif/device_service")));

        // A Hello at another address is a change, a Bye a departure: sent here as a device's
        // would arrive, looped back on veth1.
        QUdpSocket device;
        QVERIFY(device.bind(QHostAddress(kHostAddress1), 0));
        device.setMulticastInterface(QNetworkInterface::interfaceFromName(QStringLiteral("veth1")));
        device.setSocketOption(QAbstractSocket::MulticastLoopbackOption, QVariant(1));
        const QString endpoint = QStringLiteral("urn:uuid:") + endpointOf("02:20:00:00:02:01");
        const QByteArray hello =
            "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
            "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><s:Body><d:Hello><a:EndpointReference><a:"
            "Address>"
            + endpoint.toLatin1()
            + "</a:Address></a:EndpointReference><d:XAddrs>http://10.77.1.51/onvif/device_service</d:XAddrs>"
              "</d:Hello></s:Body></s:Envelope>";
        device.writeDatagram(hello, QHostAddress(QStringLiteral("239.255.255.250")), 3702);
        QTRY_COMPARE_WITH_TIMEOUT(collector.changed.size(), 1, 5000);
        QCOMPARE(collector.changed.front().serviceAddress,
                 QUrl(QStringLiteral("http://10.77.1.51/onvif/device_service")));
        QByteArray bye = hello;
        bye.replace("d:Hello", "d:Bye");
        device.writeDatagram(bye, QHostAddress(QStringLiteral("239.255.255.250")), 3702);
        QTRY_COMPARE_WITH_TIMEOUT(collector.left.size(), 1, 5000);
        QCOMPARE(collector.left.front(), endpoint);
        QCOMPARE(collector.found.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestOnvifDiscovery)
#include "tst_onvifdiscovery.moc"
