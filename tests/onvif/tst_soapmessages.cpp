// The device service's messages: requests as devices expect them (compact, escaped, in the
// schema's order), and replies as devices write them (any prefixes, several interfaces, faults),
// down to broken and oversized ones.

#include "OnvifNamespaces.h"
#include "SoapMessages.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
QByteArray bodyOf(const SoapCall &call)
{
    const QByteArray envelope = SoapEnvelope(call.body);
    const qsizetype start = envelope.indexOf("<s:Body>") + 8;
    return envelope.mid(start, envelope.indexOf("</s:Body>") - start);
}

// A reply with the prefixes a gSOAP-built firmware uses, around body.
QByteArray oddReply(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:ns9=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:onvif=\"http://www.onvif.org/ver10/schema\">\n"
           "  <SOAP-ENV:Header/>\n"
           "  <SOAP-ENV:Body>"
           + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}
} // namespace

class TestSoapMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void envelopeIsCompactAndEscapesValues()
    {
        const QByteArray envelope = SoapEnvelope(SetNetworkDefaultGatewayCall(u"1.2.3.4</tds:IPv4Address><x>&"_s).body);
        QVERIFY(envelope.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope "));
        QVERIFY(!envelope.contains('\n'));
        QVERIFY(envelope.contains("xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""));
        QVERIFY(envelope.contains("xmlns:tt=\"http://www.onvif.org/ver10/schema\""));
        QVERIFY(envelope.contains("1.2.3.4&lt;/tds:IPv4Address&gt;&lt;x&gt;&amp;"));
        QCOMPARE(SoapAction(u"GetDNS"_s), u"http://www.onvif.org/ver10/device/wsdl/GetDNS"_s);
    }

    void securityHeaderCarriesTheTokenButNoPassword()
    {
        const UsernameToken token{u"ad<min"_s, QByteArray(16, 'n'), u"2026-01-05T10:11:12.000Z"_s, "RElHRVNU"};
        const QByteArray envelope = SoapEnvelope(PlainCall(u"GetDNS"_s).body, &token);
        const SoapReply parsed(envelope);
        QVERIFY(parsed.IsValid());
        const XmlTree &t = parsed.Tree();
        const int header = t.Child(0, OnvifNs::Soap12, u"Header");
        const int security = t.Child(header, OnvifNs::WsseSecext, u"Security");
        QCOMPARE(t.At(security).attributes.value(OnvifNs::Soap12, u"mustUnderstand"_s), u"1"_s);
        const int user = t.Child(security, OnvifNs::WsseSecext, u"UsernameToken");
        QCOMPARE(t.Text(t.Child(user, OnvifNs::WsseSecext, u"Username")), u"ad<min"_s);
        QCOMPARE(t.Text(t.Child(user, OnvifNs::WsseSecext, u"Password")), u"RElHRVNU"_s);
        QVERIFY(t.At(t.Child(user, OnvifNs::WsseSecext, u"Password"))
                    .attributes.value(u"Type"_s)
                    .endsWith(u"#PasswordDigest"));
        QCOMPARE(t.Text(t.Child(user, OnvifNs::WsseSecext, u"Nonce")), QString::fromLatin1(token.nonce.toBase64()));
        QCOMPARE(t.Text(t.Child(user, OnvifNs::WsseUtility, u"Created")), token.created);
    }

    void requestsFollowTheSchema()
    {
        QCOMPARE(bodyOf(PlainCall(u"GetNetworkInterfaces"_s)), QByteArray("<tds:GetNetworkInterfaces/>"));
        QCOMPARE(bodyOf(SetDnsCall(u"10.0.0.53"_s)),
                 QByteArray("<tds:SetDNS><tds:FromDHCP>false</tds:FromDHCP><tds:DNSManual><tt:Type>IPv4</tt:Type>"
                            "<tt:IPv4Address>10.0.0.53</tt:IPv4Address></tds:DNSManual></tds:SetDNS>"));
        QCOMPARE(bodyOf(SetNetworkInterfacesCall(u"eth0"_s, false, u"192.168.1.50"_s, 24)),
                 QByteArray("<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken>"
                            "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled>"
                            "<tt:Manual><tt:Address>192.168.1.50</tt:Address><tt:PrefixLength>24</tt:PrefixLength>"
                            "</tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface>"
                            "</tds:SetNetworkInterfaces>"));
        // DHCP never goes with a manual address.
        const QByteArray dhcp = bodyOf(SetNetworkInterfacesCall(u"eth0"_s, true, u"192.168.1.50"_s, 24));
        QVERIFY(dhcp.contains("<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:DHCP>true</tt:DHCP></tt:IPv4>"));
        QVERIFY(!dhcp.contains("Manual"));
        QCOMPARE(bodyOf(SetSystemFactoryDefaultCall(false)),
                 QByteArray("<tds:SetSystemFactoryDefault><tds:FactoryDefault>Soft</tds:FactoryDefault>"
                            "</tds:SetSystemFactoryDefault>"));
        QVERIFY(bodyOf(SetSystemFactoryDefaultCall(true)).contains(">Hard<"));
        QCOMPARE(bodyOf(SetNetworkProtocolsCall({{u"HTTP"_s, true, {8080}}, {u"RTSP"_s, false, {554, 8554}}})),
                 QByteArray("<tds:SetNetworkProtocols><tds:NetworkProtocols><tt:Name>HTTP</tt:Name>"
                            "<tt:Enabled>true</tt:Enabled><tt:Port>8080</tt:Port></tds:NetworkProtocols>"
                            "<tds:NetworkProtocols><tt:Name>RTSP</tt:Name><tt:Enabled>false</tt:Enabled>"
                            "<tt:Port>554</tt:Port><tt:Port>8554</tt:Port></tds:NetworkProtocols>"
                            "</tds:SetNetworkProtocols>"));
    }

    void interfacesAreReadWithAnyPrefixes()
    {
        // A disabled interface without an address comes first; a manual one, then a DHCP one.
        const SoapReply reply(oddReply(
            "<ns9:GetNetworkInterfacesResponse>\n"
            "  <ns9:NetworkInterfaces token=\"wlan0\"><onvif:Enabled>false</onvif:Enabled>\n"
            "    "
            "<onvif:Info><onvif:HwAddress>00-11-22-33-44-55</onvif:HwAddress></onvif:Info></ns9:NetworkInterfaces>\n"
            "  <ns9:NetworkInterfaces token=\"eth1\"><onvif:Enabled>true</onvif:Enabled>\n"
            "    "
            "<onvif:Info><onvif:Name>eth1</onvif:Name><onvif:HwAddress>ac-cc-8e-01-02-03</onvif:HwAddress></"
            "onvif:Info>\n"
            "    <onvif:IPv4><onvif:Enabled>true</onvif:Enabled><onvif:Config>\n"
            "      "
            "<onvif:Manual><onvif:Address>192.168.7.9</onvif:Address><onvif:PrefixLength>20</onvif:PrefixLength></"
            "onvif:Manual>\n"
            "      "
            "<onvif:LinkLocal><onvif:Address>169.254.3.3</onvif:Address><onvif:PrefixLength>16</onvif:PrefixLength></"
            "onvif:LinkLocal>\n"
            "      <onvif:DHCP>false</onvif:DHCP></onvif:Config></onvif:IPv4></ns9:NetworkInterfaces>\n"
            "</ns9:GetNetworkInterfacesResponse>"));
        OnvifSettings settings;
        QVERIFY(ReadNetworkInterfaces(reply, settings));
        QCOMPARE(settings.interfaceToken, u"eth1"_s);
        QCOMPARE(settings.mac, u"AC:CC:8E:01:02:03"_s);
        QVERIFY(!settings.dhcp);
        QCOMPARE(settings.ip, u"192.168.7.9"_s);
        QCOMPARE(settings.prefixLength, 20);
        QCOMPARE(settings.mask, u"255.255.240.0"_s);

        // A DHCP device reports its lease under FromDHCP; the prefixes are a default namespace here.
        const SoapReply dhcp(
            "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>\n"
            "<GetNetworkInterfacesResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\"><NetworkInterfaces "
            "token=\"eth0\">\n"
            "<Enabled xmlns=\"http://www.onvif.org/ver10/schema\">true</Enabled>\n"
            "<IPv4 xmlns=\"http://www.onvif.org/ver10/schema\"><Enabled>true</Enabled><Config>\n"
            "<FromDHCP><Address>10.1.2.3</Address><PrefixLength>8</PrefixLength></FromDHCP><DHCP>true</DHCP>\n"
            "</Config></IPv4></NetworkInterfaces></GetNetworkInterfacesResponse></e:Body></e:Envelope>");
        OnvifSettings leased;
        QVERIFY(ReadNetworkInterfaces(dhcp, leased));
        QVERIFY(leased.dhcp);
        QCOMPARE(leased.ip, u"10.1.2.3"_s);
        QCOMPARE(leased.mask, u"255.0.0.0"_s);
    }

    void theOtherSettingsAreRead()
    {
        OnvifSettings settings;
        QVERIFY(ReadDns(SoapReply(oddReply(
                            "<ns9:GetDNSResponse><ns9:DNSInformation><onvif:FromDHCP>true</onvif:FromDHCP>"
                            "<onvif:DNSFromDHCP><onvif:Type>IPv4</onvif:Type><onvif:IPv4Address>10.0.0.2"
                            "</onvif:IPv4Address></onvif:DNSFromDHCP><onvif:DNSManual><onvif:Type>IPv4</onvif:Type>"
                            "<onvif:IPv4Address>10.0.0.9</onvif:IPv4Address></onvif:DNSManual>"
                            "</ns9:DNSInformation></ns9:GetDNSResponse>")),
                        settings));
        QVERIFY(settings.dnsFromDhcp);
        QCOMPARE(settings.dns, u"10.0.0.2"_s);
        QVERIFY(ReadNetworkDefaultGateway(
            SoapReply(oddReply("<ns9:GetNetworkDefaultGatewayResponse><ns9:NetworkGateway><onvif:IPv4Address>"
                               "10.0.0.1</onvif:IPv4Address></ns9:NetworkGateway>"
                               "</ns9:GetNetworkDefaultGatewayResponse>")),
            settings));
        QCOMPARE(settings.gateway, u"10.0.0.1"_s);
        QVERIFY(ReadDeviceInformation(
            SoapReply(oddReply("<ns9:GetDeviceInformationResponse><ns9:Manufacturer>Acme &amp; Co</ns9:Manufacturer>"
                               "<ns9:Model>X1</ns9:Model><ns9:FirmwareVersion>V5.7.3</ns9:FirmwareVersion>"
                               "<ns9:SerialNumber>SN1</ns9:SerialNumber><ns9:HardwareId>88</ns9:HardwareId>"
                               "</ns9:GetDeviceInformationResponse>")),
            settings));
        QCOMPARE(settings.manufacturer, u"Acme & Co"_s);
        QCOMPARE(settings.firmware, u"V5.7.3"_s);
        QCOMPARE(settings.serial, u"SN1"_s);

        // The web port is the enabled HTTP protocol's first port.
        QList<NetworkProtocol> protocols;
        QVERIFY(ReadNetworkProtocols(
            SoapReply(oddReply("<ns9:GetNetworkProtocolsResponse>"
                               "<ns9:NetworkProtocols><onvif:Name>HTTPS</onvif:Name><onvif:Enabled>true</onvif:Enabled>"
                               "<onvif:Port>443</onvif:Port></ns9:NetworkProtocols>"
                               "<ns9:NetworkProtocols><onvif:Name>HTTP</onvif:Name><onvif:Enabled>true</onvif:Enabled>"
                               "<onvif:Port>8080</onvif:Port><onvif:Port>99999</onvif:Port><onvif:Port>80</onvif:Port>"
                               "</ns9:NetworkProtocols></ns9:GetNetworkProtocolsResponse>")),
            protocols));
        QCOMPARE(protocols.size(), 2);
        QCOMPARE(protocols[1].ports, (QList<int>{8080, 80}));
        QCOMPARE(WebPortOf(protocols), 8080);
        protocols[1].enabled = false;
        QCOMPARE(WebPortOf(protocols), -1);

        QDateTime utc;
        QVERIFY(ReadSystemDateAndTime(
            SoapReply(oddReply(
                "<ns9:GetSystemDateAndTimeResponse><ns9:SystemDateAndTime><onvif:UTCDateTime><onvif:Date>"
                "<onvif:Year>2026</onvif:Year><onvif:Month>2</onvif:Month><onvif:Day>28</onvif:Day></onvif:Date>"
                "<onvif:Time><onvif:Hour>23</onvif:Hour><onvif:Minute>5</onvif:Minute><onvif:Second>59</onvif:Second>"
                "</onvif:Time></onvif:UTCDateTime></ns9:SystemDateAndTime></ns9:GetSystemDateAndTimeResponse>")),
            utc));
        QCOMPARE(utc, QDateTime(QDate(2026, 2, 28), QTime(23, 5, 59), Qt::UTC));
        QVERIFY(!ReadSystemDateAndTime(
            SoapReply(oddReply("<ns9:GetSystemDateAndTimeResponse><ns9:SystemDateAndTime><onvif:UTCDateTime>"
                               "<onvif:Date><onvif:Year>2026</onvif:Year><onvif:Month>13</onvif:Month>"
                               "<onvif:Day>1</onvif:Day></onvif:Date><onvif:Time><onvif:Hour>0</onvif:Hour>"
                               "</onvif:Time></onvif:UTCDateTime></ns9:SystemDateAndTime>"
                               "</ns9:GetSystemDateAndTimeResponse>")),
            utc));

        bool rebootNeeded = false;
        QVERIFY(ReadRebootNeeded(SoapReply(oddReply("<ns9:SetNetworkInterfacesResponse><ns9:RebootNeeded>true"
                                                    "</ns9:RebootNeeded></ns9:SetNetworkInterfacesResponse>")),
                                 rebootNeeded));
        QVERIFY(rebootNeeded);
    }

    void aResponseInTheWrongNamespaceIsNotRead()
    {
        OnvifSettings settings;
        QVERIFY(!ReadDeviceInformation(SoapReply(
                                           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>\n"
                                           "<tds:GetDeviceInformationResponse "
                                           "xmlns:tds=\"http://example.com/not-onvif\"><tds:Model>X</tds:Model>\n"
                                           "</tds:GetDeviceInformationResponse></s:Body></s:Envelope>"),
                                       settings));
        // SOAP 1.1's envelope is not the one the service speaks.
        QVERIFY(!SoapReply("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body/></s:Envelope>")
                     .IsValid());
    }

    void faultsReadAsResults_data()
    {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<OnvifResult>("result");
        const auto fault = [](const QByteArray &prefix, const QByteArray &code, const QByteArray &subcodes) {
            return "<x:Envelope xmlns:x=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:" + prefix
                   + "=\"http://www.onvif.org/ver10/error\"><x:Body><x:Fault><x:Code><x:Value>" + code + "</x:Value>"
                   + subcodes + "</x:Code><x:Reason><x:Text xml:lang=\"en\">why</x:Text></x:Reason></x:Fault>"
                   + "</x:Body></x:Envelope>";
        };
        QTest::newRow("not authorized") << fault("ter", "x:Sender",
                                                 "<x:Subcode><x:Value>ter:NotAuthorized</x:Value></x:Subcode>")
                                        << OnvifResult::LoginFailed;
        QTest::newRow("odd prefix") << fault("err", "x:Sender",
                                             "<x:Subcode><x:Value>err:NotAuthorized</x:Value></x:Subcode>")
                                    << OnvifResult::LoginFailed;
        QTest::newRow("bad address")
            << fault("ter", "x:Sender",
                     "<x:Subcode><x:Value>ter:InvalidArgVal</x:Value><x:Subcode><x:Value>ter:InvalidIPv4Address"
                     "</x:Value></x:Subcode></x:Subcode>")
            << OnvifResult::InvalidAddress;
        QTest::newRow("bad argument") << fault("ter", "x:Sender",
                                               "<x:Subcode><x:Value>ter:InvalidArgVal</x:Value></x:Subcode>")
                                      << OnvifResult::Failed;
        // The name alone is not enough: NotAuthorized of another namespace is no refused login.
        QTest::newRow("foreign namespace")
            << fault("ter", "x:Sender",
                     "<x:Subcode><x:Value xmlns:o=\"urn:other\">o:NotAuthorized</x:Value></x:Subcode>")
            << OnvifResult::Failed;
        QTest::newRow("receiver") << fault("ter", "x:Receiver", "") << OnvifResult::Failed;
    }
    void faultsReadAsResults()
    {
        QFETCH(QByteArray, fault);
        QFETCH(OnvifResult, result);
        const SoapReply reply(fault);
        QVERIFY(reply.IsValid());
        const auto parsed = reply.Fault();
        QVERIFY(parsed);
        QCOMPARE(parsed->reason, u"why"_s);
        QCOMPARE(ResultOfFault(*parsed), result);
    }

    void faultsWeWriteAreFaultsWeRead()
    {
        const SoapReply reply(
            SoapFaultEnvelope(u"Sender"_s, {u"InvalidArgVal"_s, u"InvalidGatewayAddress"_s}, u"no"_s));
        const auto fault = reply.Fault();
        QVERIFY(fault);
        QCOMPARE(fault->codes.size(), 3);
        QCOMPARE(fault->codes[0], std::make_pair(QString(OnvifNs::Soap12), u"Sender"_s));
        QCOMPARE(ResultOfFault(*fault), OnvifResult::InvalidAddress);
    }

    void brokenRepliesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("xml");
        const QByteArray whole = oddReply("<ns9:GetDNSResponse><ns9:DNSInformation><onvif:FromDHCP>false"
                                          "</onvif:FromDHCP></ns9:DNSInformation></ns9:GetDNSResponse>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("truncated") << whole.left(whole.size() - 20);
        QTest::newRow("two roots") << whole + whole;
        QTest::newRow("unclosed") << QByteArray("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">");
        QTest::newRow("entities") << QByteArray("<!DOCTYPE s [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>")
                                         + whole;
        QTest::newRow("deep") << QByteArray("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>")
                                     + QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000)
                                     + "</s:Body></s:Envelope>";
    }
    void brokenRepliesAreRefused()
    {
        QFETCH(QByteArray, xml);
        const SoapReply reply(xml);
        QVERIFY(!reply.IsValid());
        QVERIFY(!reply.Fault());
        OnvifSettings settings;
        QVERIFY(!ReadDns(reply, settings));
        QVERIFY(!ReadNetworkInterfaces(reply, settings));
    }

    void anOversizedReplyIsReadWhole()
    {
        // Two thousand interfaces: the parser copes; the client's size limit is what keeps it out.
        QByteArray many;
        for (int i = 0; i < 2000; ++i)
            many += "<ns9:NetworkInterfaces token=\"if" + QByteArray::number(i)
                    + "\"><onvif:Enabled>false</onvif:Enabled></ns9:NetworkInterfaces>";
        OnvifSettings settings;
        QVERIFY(ReadNetworkInterfaces(SoapReply(oddReply("<ns9:GetNetworkInterfacesResponse>" + many
                                                         + "</ns9:GetNetworkInterfacesResponse>")),
                                      settings));
        QCOMPARE(settings.interfaceToken, u"if0"_s);
        QVERIFY(settings.ip.isEmpty());
    }

    void masksAndPrefixes()
    {
        QCOMPARE(PrefixLengthOfMask(u"255.255.255.0"_s), 24);
        QCOMPARE(PrefixLengthOfMask(u"255.255.255.255"_s), 32);
        QCOMPARE(PrefixLengthOfMask(u"255.0.255.0"_s), -1);
        QCOMPARE(PrefixLengthOfMask(u"24"_s), -1);
        QCOMPARE(PrefixLengthOfMask(u"255.255.255.0 "_s), -1);
        QCOMPARE(MaskOfPrefixLength(20), u"255.255.240.0"_s);
        QCOMPARE(MaskOfPrefixLength(0), u"0.0.0.0"_s);
        QVERIFY(MaskOfPrefixLength(33).isEmpty());
        QVERIFY(IsUsableIPv4(u"10.77.1.150"_s));
        for (const char *bad : {"0.0.0.0", "255.255.255.255", "224.0.0.1", "10.77.1", "10.77.1.256", "a.b.c.d", ""})
            QVERIFY2(!IsUsableIPv4(QLatin1String(bad)), bad);
    }
};

QTEST_GUILESS_MAIN(TestSoapMessages)
#include "tst_soapmessages.moc"
