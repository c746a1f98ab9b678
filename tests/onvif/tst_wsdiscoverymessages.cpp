// WS-Discovery's messages without a network: the probes Corvane sends, the answers and
// announcements it reads (captured-style fixtures in fixtures/), and which address it talks to.

#include "OnvifServiceAddress.h"
#include "WsDiscoveryMessages.h"

#include <QFile>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {
const QString kOurProbe = QStringLiteral("urn:uuid:3f2b6c1e-8d4a-4e7b-9c0d-5a1e2f3b4c5d");

QByteArray fixture(const char *name)
{
    QFile file(QStringLiteral(ONVIF_FIXTURES "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return file.readAll();
}

CNetworkAdapterObj adapter(const char *address, int prefix)
{
    CNetworkAdapterObj a;
    a.m_strName = QStringLiteral("veth1");
    a.m_strAddress = QLatin1String(address);
    a.m_nPrefixLength = prefix;
    return a;
}
} // namespace

class TestWsDiscoveryMessages final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void probeIsTheCompactWireFormat()
    {
        const QByteArray probe = BuildWsProbe(WsProbeType::NetworkVideoTransmitter, kOurProbe);
        const QByteArray expected =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\"><s:Header><a:Action "
            "s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action><a:MessageID>urn:"
            "uuid:3f2b6c1e-8d4a-4e7b-9c0d-5a1e2f3b4c5d</a:MessageID><a:ReplyTo><a:Address>http://schemas.xmlsoap.org/"
            "ws/2004/08/addressing/role/anonymous</a:Address></a:ReplyTo><a:To "
            "s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></s:Header><s:Body><Probe "
            "xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><d:Types "
            "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
            "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">dn:NetworkVideoTransmitter</d:Types><Scopes/></"
            "Probe></s:Body></s:Envelope>";
        QCOMPARE(probe, expected);
        QVERIFY(!probe.contains('\n'));

        const QByteArray device = BuildWsProbe(WsProbeType::Device, kOurProbe);
        QVERIFY(device.contains("<d:Types xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
                                "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">tds:Device</d:Types>"));
        // Both read back as probes of their type, by namespace.
        const auto parsed = ParseWsDiscovery(device);
        QVERIFY(parsed);
        QCOMPARE(parsed->kind, WsDiscoveryMessage::Kind::Probe);
        QCOMPARE(parsed->messageId, kOurProbe);
        QCOMPARE(parsed->probeTypes, QStringList{kWsTypeDevice});
        QCOMPARE(ParseWsDiscovery(probe)->probeTypes, QStringList{kWsTypeNetworkVideoTransmitter});
    }

    void messageIdsAreNewUrnUuids()
    {
        const QString a = NewWsMessageId();
        const QString b = NewWsMessageId();
        QVERIFY(a != b);
        QVERIFY(a.startsWith(QLatin1String("urn:uuid:")));
        QCOMPARE(a.size(), 9 + 36);
    }

    void relatesToMatchesLeniently()
    {
        QCOMPARE(NormalisedWsId(QStringLiteral("uuid:3F2B6C1E-8D4A-4E7B-9C0D-5A1E2F3B4C5D")),
                 NormalisedWsId(kOurProbe));
        QCOMPARE(NormalisedWsId(QStringLiteral(" URN:UUID:3f2b6c1e-8d4a-4e7b-9c0d-5a1e2f3b4c5d ")),
                 NormalisedWsId(kOurProbe));
        QVERIFY(NormalisedWsId(QStringLiteral("urn:uuid:00000000-8d4a-4e7b-9c0d-5a1e2f3b4c5d"))
                != NormalisedWsId(kOurProbe));
    }

    void readsAProbeMatchWithSeveralXAddrs()
    {
        const auto message = ParseWsDiscovery(fixture("probematch-two-xaddrs.xml"));
        QVERIFY(message);
        QCOMPARE(message->kind, WsDiscoveryMessage::Kind::ProbeMatches);
        QCOMPARE(NormalisedWsId(message->relatesTo), NormalisedWsId(kOurProbe));
        QCOMPARE(message->matches.size(), 1);
        const WsDiscoveryMatch &match = message->matches.front();
        QCOMPARE(match.endpoint, QStringLiteral("urn:uuid:ef7a28dc-1dd1-11b2-8199-8ce748e18e8a"));
        QCOMPARE(match.types, (QStringList{kWsTypeNetworkVideoTransmitter, kWsTypeDevice}));
        QCOMPARE(match.xaddrs, (QStringList{QStringLiteral("http://192.168.1.64/onvif/device_service"),
                                            QStringLiteral("http://169.254.12.7/onvif/device_service")}));
        QCOMPARE(match.metadataVersion, 10u);
        const OnvifScopeValues scopes = DecodeOnvifScopes(match.scopes);
        QCOMPARE(scopes.hardware, QStringLiteral("DS-2CD2143G2"));
        QCOMPARE(scopes.name, QStringLiteral("HIKVISION DS-2CD2143G2"));
        QCOMPARE(scopes.mac, QStringLiteral("8C:E7:48:E1:8E:8A"));
    }

    void readsByNamespaceNeverByPrefix()
    {
        const auto message = ParseWsDiscovery(fixture("probematch-odd-prefixes.xml"));
        QVERIFY(message);
        // The uuid: form, upper case, still relates to our urn:uuid: probe.
        QCOMPARE(NormalisedWsId(message->relatesTo), NormalisedWsId(kOurProbe));
        const WsDiscoveryMatch &match = message->matches.front();
        QCOMPARE(match.endpoint, QStringLiteral("uuid:7c1e0000-aaaa-bbbb-cccc-001122334455"));
        // "nvt:" is declared on Types itself for the network namespace.
        QCOMPARE(match.types, QStringList{kWsTypeNetworkVideoTransmitter});
        QCOMPARE(match.xaddrs.size(), 3);
        QCOMPARE(match.metadataVersion, 0u); // not announced
        const OnvifScopeValues scopes = DecodeOnvifScopes(match.scopes);
        QCOMPARE(scopes.hardware, QStringLiteral("NV-7 Mini"));
        QCOMPARE(scopes.name, QStringLiteral("Acme & Sons"));
        QCOMPARE(scopes.mac, QStringLiteral("00:1A:2B:3C:4D:5E"));
        // A prefix that names another namespace is not the ONVIF type.
        const QByteArray wrongPrefix = QByteArray(fixture("probematch-odd-prefixes.xml"))
                                           .replace("xmlns:nvt=\"http://www.onvif.org/ver10/network/wsdl\"",
                                                    "xmlns:nvt=\"http://example.com/other\"");
        QCOMPARE(ParseWsDiscovery(wrongPrefix)->matches.front().types,
                 QStringList{QStringLiteral("{http://example.com/other}NetworkVideoTransmitter")});
    }

    void readsABigAnswerFullOfDeclarations()
    {
        const QByteArray big = fixture("probematch-big.xml");
        QVERIFY(big.size() > 2600 && big.size() < 2900);
        const auto message = ParseWsDiscovery(big);
        QVERIFY(message);
        QCOMPARE(message->matches.size(), 1);
        QCOMPARE(message->matches.front().types, (QStringList{kWsTypeNetworkVideoTransmitter, kWsTypeDevice}));
    }

    void readsHelloAndBye()
    {
        const auto hello = ParseWsDiscovery(fixture("hello.xml"));
        QVERIFY(hello);
        QCOMPARE(hello->kind, WsDiscoveryMessage::Kind::Hello);
        QCOMPARE(hello->matches.front().endpoint, QStringLiteral("urn:uuid:ef7a28dc-1dd1-11b2-8199-8ce748e18e8a"));
        QCOMPARE(hello->matches.front().xaddrs, QStringList{QStringLiteral("http://10.77.1.64/onvif/device_service")});
        QCOMPARE(hello->matches.front().metadataVersion, 11u);
        const auto bye = ParseWsDiscovery(fixture("bye.xml"));
        QVERIFY(bye);
        QCOMPARE(bye->kind, WsDiscoveryMessage::Kind::Bye);
        QCOMPARE(bye->matches.front().endpoint, QStringLiteral("urn:uuid:ef7a28dc-1dd1-11b2-8199-8ce748e18e8a"));
    }

    void dropsWhatCannotBeRead_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        const QByteArray good = fixture("probematch-two-xaddrs.xml");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("mismatched tags") << fixture("malformed-mismatched.xml");
        QTest::newRow("a DTD with entities") << fixture("dtd-entities.xml");
        for (const qsizetype cut : {1, 40, 200, 700, 1400})
            QTest::addRow("cut to %d bytes", int(cut)) << good.left(cut);
        QTest::newRow("cut before the last tag") << good.left(good.size() - 5);
        QTest::newRow("not SOAP") << QByteArray("<html><body>ProbeMatches</body></html>");
        QTest::newRow("not XML") << QByteArray("\x03\x00\x00\x00 an own-family record", 26);
        QTest::newRow("no endpoint") << QByteArray(good).replace("urn:uuid:ef7a28dc-1dd1-11b2-8199-8ce748e18e8a", "");
        QTest::newRow("a SOAP fault") << QByteArray(
            "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><s:Fault/></s:Body>"
            "</s:Envelope>");
        // Longer than 64 KB: refused before it is read.
        QByteArray huge = good;
        huge.insert(huge.indexOf("<d:MetadataVersion>"),
                    "<x:Pad xmlns:x=\"urn:pad\">" + QByteArray(70 * 1024, 'a') + "</x:Pad>");
        QTest::newRow("huge") << huge;
    }

    void dropsWhatCannotBeRead()
    {
        QFETCH(QByteArray, datagram);
        QString why;
        QVERIFY(!ParseWsDiscovery(datagram, &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(why.size() < 200);
    }

    void anAnswerToSomeoneElsesProbeRelatesToAnotherId()
    {
        QByteArray other = fixture("probematch-two-xaddrs.xml");
        other.replace("3f2b6c1e-8d4a-4e7b-9c0d-5a1e2f3b4c5d", "00000000-1111-2222-3333-444444444444");
        const auto message = ParseWsDiscovery(other);
        QVERIFY(message);
        QVERIFY(NormalisedWsId(message->relatesTo) != NormalisedWsId(kOurProbe));
    }

    void normalisesMacs()
    {
        QCOMPARE(NormalisedMac(QStringLiteral("001a2b3c4d5e")), QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(NormalisedMac(QStringLiteral("00-1A-2b-3c-4D-5e")), QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(NormalisedMac(QStringLiteral("001a.2b3c.4d5e")), QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(NormalisedMac(QStringLiteral("00:1A:2B:3C:4D")), QString());
        QCOMPARE(NormalisedMac(QStringLiteral("00:1A:2B:3C:4D:5G")), QString());
    }

    // Which address Corvane talks to, and whether a login may go there.
    void choosesTheServiceAddress_data()
    {
        QTest::addColumn<QStringList>("xaddrs");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("adapterAddress");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("safe");
        const QString v1 = QStringLiteral("10.77.1.1");
        const auto url = [](const char *host) { return QStringLiteral("http://%1/onvif/device_service").arg(host); };
        QTest::newRow("on the network") << QStringList{url("10.77.1.20")} << "10.77.1.20" << v1 << url("10.77.1.20")
                                        << true;
        QTest::newRow("link-local first")
            << QStringList{url("169.254.1.20"), url("10.77.1.20")} << "10.77.1.20" << v1 << url("10.77.1.20") << true;
        QTest::newRow("on the network, not the source")
            << QStringList{url("10.77.1.30")} << "10.77.1.20" << v1 << url("10.77.1.30") << true;
        QTest::newRow("off the network, at the source") << QStringList{url("169.254.3.4"), url("192.168.0.64")}
                                                        << "192.168.0.64" << v1 << url("192.168.0.64") << true;
        QTest::newRow("loopback only: the source")
            << QStringList{QStringLiteral("http://127.0.0.1:8080/onvif/device_service"), url("0.0.0.0")} << "10.77.1.20"
            << v1 << QStringLiteral("http://10.77.1.20:8080/onvif/device_service") << true;
        QTest::newRow("link-local only: the source")
            << QStringList{url("169.254.9.9")} << "10.77.1.20" << v1 << url("10.77.1.20") << true;
        QTest::newRow("nothing announced: the source")
            << QStringList{} << "10.77.1.20" << v1 << url("10.77.1.20") << true;
        QTest::newRow("not a URL, IPv6 only: the source")
            << QStringList{QStringLiteral("urn:nothing"), QStringLiteral("http://[fe80::1]/onvif/device_service")}
            << "10.77.1.20" << v1 << url("10.77.1.20") << true;
        QTest::newRow("someone else's host")
            << QStringList{url("10.77.2.1")} << "10.77.1.20" << v1 << url("10.77.2.1") << false;
        QTest::newRow("someone else's host, link-local beside it")
            << QStringList{url("169.254.1.1"), url("203.0.113.9")} << "10.77.1.20" << v1 << url("203.0.113.9") << false;
        QTest::newRow("a link-local adapter takes link-local")
            << QStringList{url("169.254.7.7")} << "169.254.7.7" << QStringLiteral("169.254.1.1") << url("169.254.7.7")
            << true;
    }

    void choosesTheServiceAddress()
    {
        QFETCH(QStringList, xaddrs);
        QFETCH(QString, source);
        QFETCH(QString, adapterAddress);
        QFETCH(QString, chosen);
        QFETCH(bool, safe);
        const int prefix = adapterAddress.startsWith(QLatin1String("169.254")) ? 16 : 24;
        const OnvifServiceChoice choice = ChooseOnvifServiceAddress(xaddrs, QHostAddress(source),
                                                                    adapter(adapterAddress.toLatin1().constData(),
                                                                            prefix));
        QCOMPARE(choice.url.toString(), chosen);
        QCOMPARE(choice.credentialsSafe, safe);
    }

    void theServiceMovesWithTheWebPortItSharedOnly_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<int>("oldPort");
        QTest::addColumn<int>("newPort");
        QTest::addColumn<QString>("moved");
        const QString path = u"/onvif/device_service"_s;
        QTest::newRow("no port is 80") << u"http://10.0.0.5"_s + path << 80 << 8080 << u"http://10.0.0.5:8080"_s + path;
        QTest::newRow("back to 80") << u"http://10.0.0.5:8080"_s + path << 8080 << 80 << u"http://10.0.0.5"_s + path;
        QTest::newRow("the old port given")
            << u"http://10.0.0.5:81"_s + path << 81 << 82 << u"http://10.0.0.5:82"_s + path;
        QTest::newRow("a port of its own")
            << u"http://10.0.0.5:8899"_s + path << 80 << 8080 << u"http://10.0.0.5:8899"_s + path;
        QTest::newRow("https") << u"https://10.0.0.5"_s + path << 443 << 8443 << u"https://10.0.0.5"_s + path;
        QTest::newRow("old port unknown") << u"http://10.0.0.5"_s + path << -1 << 8080 << u"http://10.0.0.5"_s + path;
        QTest::newRow("no port at all") << u"http://10.0.0.5"_s + path << 80 << 70000 << u"http://10.0.0.5"_s + path;
    }
    void theServiceMovesWithTheWebPortItSharedOnly()
    {
        QFETCH(QString, service);
        QFETCH(int, oldPort);
        QFETCH(int, newPort);
        QFETCH(QString, moved);
        QCOMPARE(ServiceAddressAfterWebPort(QUrl(service), oldPort, newPort).toString(), moved);
    }

    void makesTheDevice()
    {
        const auto message = ParseWsDiscovery(fixture("probematch-odd-prefixes.xml"));
        const OnvifDevice device = MakeOnvifDevice(message->matches.front(), QHostAddress(QStringLiteral("10.77.1.20")),
                                                   adapter("10.77.1.1", 24));
        QCOMPARE(device.endpoint, QStringLiteral("uuid:7c1e0000-aaaa-bbbb-cccc-001122334455"));
        QCOMPARE(device.serviceAddress, QUrl(QStringLiteral("http://10.77.1.20:8080/onvif/device_service")));
        QVERIFY(device.credentialsSafe);
        QCOMPARE(device.answerSource, QHostAddress(QStringLiteral("10.77.1.20")));
        QCOMPARE(device.mac, QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(device.hardware, QStringLiteral("NV-7 Mini"));
        QCOMPARE(device.name, QStringLiteral("Acme & Sons"));
        QCOMPARE(device.xaddrs.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestWsDiscoveryMessages)
#include "tst_wsdiscoverymessages.moc"
