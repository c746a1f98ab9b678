#include "SoapMessages.h"

#include "AddressText.h"
#include "OnvifNamespaces.h"

#include <QHostAddress>
#include <QXmlStreamReader>

namespace {
// Deeper than any reply of the device service; deeper documents are refused.
constexpr int kMaxDepth = 64;

const QString kSoapPrefix = QStringLiteral("s");
const QString kDevicePrefix = QStringLiteral("tds");
const QString kSchemaPrefix = QStringLiteral("tt");

bool isTrue(const QString &value)
{
    return value == QLatin1String("true") || value == QLatin1String("1");
}

void writeSecurity(QXmlStreamWriter &w, const UsernameToken &token)
{
    w.writeNamespace(OnvifNs::WsseSecext, QStringLiteral("wsse"));
    w.writeNamespace(OnvifNs::WsseUtility, QStringLiteral("wsu"));
    w.writeStartElement(OnvifNs::WsseSecext, QStringLiteral("Security"));
    w.writeAttribute(OnvifNs::Soap12, QStringLiteral("mustUnderstand"), QStringLiteral("1"));
    w.writeStartElement(OnvifNs::WsseSecext, QStringLiteral("UsernameToken"));
    w.writeTextElement(OnvifNs::WsseSecext, QStringLiteral("Username"), token.user);
    w.writeStartElement(OnvifNs::WsseSecext, QStringLiteral("Password"));
    w.writeAttribute(QStringLiteral("Type"),
                     QStringLiteral("http://docs.oasis-open.org/wss/2004/01/"
                                    "oasis-200401-wss-username-token-profile-1.0#PasswordDigest"));
    w.writeCharacters(QString::fromLatin1(token.passwordDigest));
    w.writeEndElement();
    w.writeStartElement(OnvifNs::WsseSecext, QStringLiteral("Nonce"));
    w.writeAttribute(QStringLiteral("EncodingType"),
                     QStringLiteral("http://docs.oasis-open.org/wss/2004/01/"
                                    "oasis-200401-wss-soap-message-security-1.0#Base64Binary"));
    w.writeCharacters(QString::fromLatin1(token.nonce.toBase64()));
    w.writeEndElement();
    w.writeTextElement(OnvifNs::WsseUtility, QStringLiteral("Created"), token.created);
    w.writeEndElement();
    w.writeEndElement();
}

int schemaChild(const XmlTree &tree, int element, const char *name)
{
    return tree.Child(element, OnvifNs::Schema, QLatin1String(name));
}
} // namespace

void WriteDeviceElement(QXmlStreamWriter &w, const char *name, const QString &value)
{
    w.writeTextElement(OnvifNs::DeviceWsdl, QLatin1String(name), value);
}

void WriteSchemaElement(QXmlStreamWriter &w, const char *name, const QString &value)
{
    w.writeTextElement(OnvifNs::Schema, QLatin1String(name), value);
}

QString XmlBool(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString SchemaText(const XmlTree &tree, int element, const char *name)
{
    return tree.Text(schemaChild(tree, element, name));
}

QString DeviceText(const XmlTree &tree, int element, const char *name)
{
    return tree.Text(tree.Child(element, OnvifNs::DeviceWsdl, QLatin1String(name)));
}

XmlTree XmlTree::Parse(const QByteArray &xml)
{
    XmlTree tree;
    QXmlStreamReader reader(xml);
    int current = -1;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (++depth > kMaxDepth || (current < 0 && !tree.m_elements.empty()))
                return {};
            Element element;
            element.ns = reader.namespaceUri().toString();
            element.name = reader.name().toString();
            element.attributes = reader.attributes();
            element.declarations = reader.namespaceDeclarations();
            element.parent = current;
            const int index = static_cast<int>(tree.m_elements.size());
            if (current >= 0)
                tree.m_elements[static_cast<std::size_t>(current)].children.append(index);
            tree.m_elements.push_back(std::move(element));
            current = index;
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            tree.m_elements[static_cast<std::size_t>(current)].text =
                tree.m_elements[static_cast<std::size_t>(current)].text.trimmed();
            current = tree.m_elements[static_cast<std::size_t>(current)].parent;
            break;
        case QXmlStreamReader::Characters:
            if (current >= 0)
                tree.m_elements[static_cast<std::size_t>(current)].text += reader.text();
            break;
        case QXmlStreamReader::DTD: // SOAP forbids them; they only invite entity tricks
            return {};
        default: break;
        }
    }
    if (reader.hasError() || tree.m_elements.empty())
        return {};
    return tree;
}

int XmlTree::Child(int element, QAnyStringView ns, QAnyStringView name) const
{
    if (element < 0 || element >= static_cast<int>(m_elements.size()))
        return -1;
    for (int child : At(element).children) {
        if (QAnyStringView::equal(At(child).name, name) && QAnyStringView::equal(At(child).ns, ns))
            return child;
    }
    return -1;
}

QList<int> XmlTree::Children(int element, QAnyStringView ns, QAnyStringView name) const
{
    QList<int> found;
    if (element < 0 || element >= static_cast<int>(m_elements.size()))
        return found;
    for (int child : At(element).children) {
        if (QAnyStringView::equal(At(child).name, name) && QAnyStringView::equal(At(child).ns, ns))
            found.append(child);
    }
    return found;
}

int XmlTree::Path(int element, QAnyStringView ns, std::initializer_list<QAnyStringView> names) const
{
    for (QAnyStringView name : names)
        element = Child(element, ns, name);
    return element;
}

std::pair<QString, QString> XmlTree::ResolveQName(int element, const QString &qname) const
{
    const qsizetype colon = qname.indexOf(QLatin1Char(':'));
    const QString prefix = colon < 0 ? QString() : qname.left(colon);
    const QString local = qname.mid(colon + 1);
    for (int e = element; e >= 0; e = At(e).parent) {
        for (const QXmlStreamNamespaceDeclaration &declaration : At(e).declarations) {
            if (declaration.prefix() == prefix)
                return {declaration.namespaceUri().toString(), local};
        }
    }
    return {QString(), local};
}

QByteArray SoapEnvelope(const SoapBody &body, const UsernameToken *token)
{
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.writeStartDocument();
    w.writeNamespace(OnvifNs::Soap12, kSoapPrefix);
    w.writeNamespace(OnvifNs::DeviceWsdl, kDevicePrefix);
    w.writeNamespace(OnvifNs::Schema, kSchemaPrefix);
    w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Envelope"));
    if (token) {
        w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Header"));
        writeSecurity(w, *token);
        w.writeEndElement();
    }
    w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Body"));
    body(w);
    w.writeEndElement();
    w.writeEndElement();
    return xml; // no writeEndDocument(): it adds a line break
}

QString SoapAction(const QString &operation)
{
    return OnvifNs::DeviceWsdl + QLatin1Char('/') + operation;
}

SoapCall PlainCall(const QString &operation)
{
    return {operation, [operation](QXmlStreamWriter &w) { w.writeEmptyElement(OnvifNs::DeviceWsdl, operation); }};
}

SoapCall SetNetworkDefaultGatewayCall(const QString &gateway)
{
    return {QStringLiteral("SetNetworkDefaultGateway"), [gateway](QXmlStreamWriter &w) {
                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("SetNetworkDefaultGateway"));
                WriteDeviceElement(w, "IPv4Address", gateway);
                w.writeEndElement();
            }};
}

SoapCall SetDnsCall(const QString &dns)
{
    return {QStringLiteral("SetDNS"), [dns](QXmlStreamWriter &w) {
                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("SetDNS"));
                WriteDeviceElement(w, "FromDHCP", XmlBool(false));
                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("DNSManual"));
                WriteSchemaElement(w, "Type", QStringLiteral("IPv4"));
                WriteSchemaElement(w, "IPv4Address", dns);
                w.writeEndElement();
                w.writeEndElement();
            }};
}

SoapCall SetNetworkProtocolsCall(const QList<NetworkProtocol> &protocols)
{
    return {QStringLiteral("SetNetworkProtocols"), [protocols](QXmlStreamWriter &w) {
                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("SetNetworkProtocols"));
                for (const NetworkProtocol &protocol : protocols) {
                    w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("NetworkProtocols"));
                    WriteSchemaElement(w, "Name", protocol.name);
                    WriteSchemaElement(w, "Enabled", XmlBool(protocol.enabled));
                    for (int port : protocol.ports)
                        WriteSchemaElement(w, "Port", QString::number(port));
                    w.writeEndElement();
                }
                w.writeEndElement();
            }};
}

SoapCall SetNetworkInterfacesCall(const QString &token, bool dhcp, const QString &ip, int prefixLength)
{
    return {QStringLiteral("SetNetworkInterfaces"), [=](QXmlStreamWriter &w) {
                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("SetNetworkInterfaces"));
                WriteDeviceElement(w, "InterfaceToken", token);
                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("NetworkInterface"));
                WriteSchemaElement(w, "Enabled", XmlBool(true));
                w.writeStartElement(OnvifNs::Schema, QStringLiteral("IPv4"));
                WriteSchemaElement(w, "Enabled", XmlBool(true));
                // Manual beside DHCP true leaves some devices unreachable: one or the other.
                if (!dhcp) {
                    w.writeStartElement(OnvifNs::Schema, QStringLiteral("Manual"));
                    WriteSchemaElement(w, "Address", ip);
                    WriteSchemaElement(w, "PrefixLength", QString::number(prefixLength));
                    w.writeEndElement();
                }
                WriteSchemaElement(w, "DHCP", XmlBool(dhcp));
                w.writeEndElement();
                w.writeEndElement();
                w.writeEndElement();
            }};
}

SoapCall SetSystemFactoryDefaultCall(bool hard)
{
    return {QStringLiteral("SetSystemFactoryDefault"), [hard](QXmlStreamWriter &w) {
                w.writeStartElement(OnvifNs::DeviceWsdl, QStringLiteral("SetSystemFactoryDefault"));
                WriteDeviceElement(w, "FactoryDefault", hard ? QStringLiteral("Hard") : QStringLiteral("Soft"));
                w.writeEndElement();
            }};
}

bool SoapFault::Has(QAnyStringView ns, QAnyStringView name) const
{
    for (const auto &[codeNs, codeName] : codes) {
        if (QAnyStringView::equal(codeNs, ns) && QAnyStringView::equal(codeName, name))
            return true;
    }
    return false;
}

SoapReply::SoapReply(const QByteArray &xml)
    : m_tree(XmlTree::Parse(xml))
{
    if (m_tree.IsEmpty() || m_tree.At(0).ns != OnvifNs::Soap12 || m_tree.At(0).name != QLatin1String("Envelope"))
        return;
    m_body = m_tree.Child(0, OnvifNs::Soap12, u"Body");
}

std::optional<SoapFault> SoapReply::Fault() const
{
    const int fault = m_tree.Child(m_body, OnvifNs::Soap12, u"Fault");
    if (fault < 0)
        return std::nullopt;
    SoapFault result;
    for (int code = m_tree.Child(fault, OnvifNs::Soap12, u"Code"); code >= 0;
         code = m_tree.Child(code, OnvifNs::Soap12, u"Subcode")) {
        const int value = m_tree.Child(code, OnvifNs::Soap12, u"Value");
        if (value >= 0)
            result.codes.append(m_tree.ResolveQName(value, m_tree.Text(value)));
    }
    result.reason = m_tree.Text(m_tree.Path(fault, OnvifNs::Soap12, {u"Reason", u"Text"}));
    return result;
}

int SoapReply::Response(QAnyStringView name) const
{
    return m_tree.Child(m_body, OnvifNs::DeviceWsdl, name);
}

bool ReadSystemDateAndTime(const SoapReply &reply, QDateTime &utc)
{
    const XmlTree &t = reply.Tree();
    const int system = t.Child(reply.Response(u"GetSystemDateAndTimeResponse"), OnvifNs::DeviceWsdl,
                               u"SystemDateAndTime");
    const int utcTime = t.Child(system, OnvifNs::Schema, u"UTCDateTime");
    const int date = t.Child(utcTime, OnvifNs::Schema, u"Date");
    const int time = t.Child(utcTime, OnvifNs::Schema, u"Time");
    if (date < 0 || time < 0)
        return false;
    const QDate d(SchemaText(t, date, "Year").toInt(), SchemaText(t, date, "Month").toInt(),
                  SchemaText(t, date, "Day").toInt());
    const QTime clock(SchemaText(t, time, "Hour").toInt(), SchemaText(t, time, "Minute").toInt(),
                      SchemaText(t, time, "Second").toInt());
    if (!d.isValid() || !clock.isValid())
        return false;
    utc = QDateTime(d, clock, Qt::UTC);
    return true;
}

bool ReadNetworkInterfaces(const SoapReply &reply, OnvifSettings &settings)
{
    const XmlTree &t = reply.Tree();
    const int response = reply.Response(u"GetNetworkInterfacesResponse");
    if (response < 0)
        return false;
    // The interface that carries an IPv4 address; the first enabled one when none does.
    int chosen = -1;
    for (int nic : t.Children(response, OnvifNs::DeviceWsdl, u"NetworkInterfaces")) {
        const int ipv4 = schemaChild(t, nic, "IPv4");
        const int config = schemaChild(t, ipv4, "Config");
        const bool hasAddress = schemaChild(t, config, "Manual") >= 0 || schemaChild(t, config, "FromDHCP") >= 0;
        if (chosen < 0 || (hasAddress && isTrue(SchemaText(t, nic, "Enabled")))) {
            chosen = nic;
            if (hasAddress && isTrue(SchemaText(t, nic, "Enabled")))
                break;
        }
    }
    if (chosen < 0)
        return false;
    settings.interfaceToken = t.At(chosen).attributes.value(QLatin1String("token")).toString();
    settings.mac = SchemaText(t, schemaChild(t, chosen, "Info"), "HwAddress")
                       .toUpper()
                       .replace(QLatin1Char('-'), QLatin1Char(':'));
    const int config = schemaChild(t, schemaChild(t, chosen, "IPv4"), "Config");
    settings.dhcp = isTrue(SchemaText(t, config, "DHCP"));
    // A DHCP device reports its lease under FromDHCP; the manual entry is what it would fall back to.
    int address = settings.dhcp ? schemaChild(t, config, "FromDHCP") : schemaChild(t, config, "Manual");
    if (address < 0)
        address = settings.dhcp ? schemaChild(t, config, "Manual") : schemaChild(t, config, "FromDHCP");
    if (address >= 0) {
        settings.ip = SchemaText(t, address, "Address");
        bool ok = false;
        const int prefix = SchemaText(t, address, "PrefixLength").toInt(&ok);
        settings.prefixLength = ok && prefix >= 0 && prefix <= 32 ? prefix : -1;
        settings.mask = MaskOfPrefixLength(settings.prefixLength);
    }
    return true;
}

bool ReadDns(const SoapReply &reply, OnvifSettings &settings)
{
    const XmlTree &t = reply.Tree();
    const int info = t.Child(reply.Response(u"GetDNSResponse"), OnvifNs::DeviceWsdl, u"DNSInformation");
    if (info < 0)
        return false;
    settings.dnsFromDhcp = isTrue(SchemaText(t, info, "FromDHCP"));
    const char *lists[] = {"DNSManual", "DNSFromDHCP"};
    if (settings.dnsFromDhcp)
        std::swap(lists[0], lists[1]);
    for (const char *list : lists) {
        for (int entry : t.Children(info, OnvifNs::Schema, QLatin1String(list))) {
            const QString ip = SchemaText(t, entry, "IPv4Address");
            if (!ip.isEmpty()) {
                settings.dns = ip;
                return true;
            }
        }
    }
    return true;
}

bool ReadNetworkDefaultGateway(const SoapReply &reply, OnvifSettings &settings)
{
    const XmlTree &t = reply.Tree();
    const int gateway = t.Child(reply.Response(u"GetNetworkDefaultGatewayResponse"), OnvifNs::DeviceWsdl,
                                u"NetworkGateway");
    if (gateway < 0)
        return false;
    settings.gateway = SchemaText(t, gateway, "IPv4Address");
    return true;
}

bool ReadNetworkProtocols(const SoapReply &reply, QList<NetworkProtocol> &protocols)
{
    const XmlTree &t = reply.Tree();
    const int response = reply.Response(u"GetNetworkProtocolsResponse");
    if (response < 0)
        return false;
    protocols.clear();
    for (int entry : t.Children(response, OnvifNs::DeviceWsdl, u"NetworkProtocols")) {
        NetworkProtocol protocol;
        protocol.name = SchemaText(t, entry, "Name");
        protocol.enabled = isTrue(SchemaText(t, entry, "Enabled"));
        for (int port : t.Children(entry, OnvifNs::Schema, u"Port")) {
            bool ok = false;
            const int value = t.Text(port).toInt(&ok);
            if (ok && value > 0 && value <= 65535)
                protocol.ports.append(value);
        }
        protocols.append(protocol);
    }
    return true;
}

int WebPortOf(const QList<NetworkProtocol> &protocols)
{
    for (const NetworkProtocol &protocol : protocols) {
        if (protocol.name == QLatin1String("HTTP") && protocol.enabled && !protocol.ports.isEmpty())
            return protocol.ports.first();
    }
    return -1;
}

bool ReadDeviceInformation(const SoapReply &reply, OnvifSettings &settings)
{
    const XmlTree &t = reply.Tree();
    const int response = reply.Response(u"GetDeviceInformationResponse");
    if (response < 0)
        return false;
    const auto field = [&](QAnyStringView name) { return t.Text(t.Child(response, OnvifNs::DeviceWsdl, name)); };
    settings.manufacturer = field(u"Manufacturer");
    settings.model = field(u"Model");
    settings.firmware = field(u"FirmwareVersion");
    settings.serial = field(u"SerialNumber");
    settings.hardwareId = field(u"HardwareId");
    return true;
}

bool ReadRebootNeeded(const SoapReply &reply, bool &rebootNeeded)
{
    const XmlTree &t = reply.Tree();
    const int value = t.Child(reply.Response(u"SetNetworkInterfacesResponse"), OnvifNs::DeviceWsdl, u"RebootNeeded");
    if (value < 0)
        return false;
    rebootNeeded = isTrue(t.Text(value));
    return true;
}

OnvifResult ResultOfFault(const SoapFault &fault)
{
    const QLatin1StringView ter = OnvifNs::SoapErrorCodes;
    if (fault.Has(ter, u"NotAuthorized") || fault.Has(ter, u"FailedAuthentication")
        || fault.Has(OnvifNs::WsseSecext, u"FailedAuthentication"))
        return OnvifResult::LoginFailed;
    if (fault.Has(ter, u"InvalidIPv4Address") || fault.Has(ter, u"InvalidGatewayAddress")
        || fault.Has(ter, u"InvalidDnsName") || fault.Has(ter, u"InvalidPrefixLength"))
        return OnvifResult::InvalidAddress;
    return OnvifResult::Failed;
}

int PrefixLengthOfMask(const QString &mask)
{
    if (!IsDottedQuadText(mask))
        return -1;
    return QHostAddress::parseSubnet(QStringLiteral("0.0.0.0/") + mask).second; // -1: not contiguous
}

QString MaskOfPrefixLength(int prefixLength)
{
    if (prefixLength < 0 || prefixLength > 32)
        return {};
    const quint32 bits = prefixLength == 0 ? 0 : ~quint32(0) << (32 - prefixLength);
    return QHostAddress(bits).toString();
}

bool IsUsableIPv4(const QString &ip)
{
    if (!IsDottedQuadText(ip))
        return false;
    const quint32 value = QHostAddress(ip).toIPv4Address();
    return value != 0 && value != 0xffffffffu && (value >> 28) != 0xe;
}

QByteArray SoapFaultEnvelope(const QString &code, const QStringList &subcodes, const QString &reason)
{
    return SoapEnvelope([&](QXmlStreamWriter &w) {
        w.writeNamespace(OnvifNs::SoapErrorCodes, QStringLiteral("ter"));
        w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Fault"));
        w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Code"));
        w.writeTextElement(OnvifNs::Soap12, QStringLiteral("Value"), kSoapPrefix + QLatin1Char(':') + code);
        for (const QString &subcode : subcodes) {
            w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Subcode"));
            w.writeTextElement(OnvifNs::Soap12, QStringLiteral("Value"), QStringLiteral("ter:") + subcode);
        }
        for (qsizetype i = 0; i < subcodes.size(); ++i)
            w.writeEndElement();
        w.writeEndElement();
        w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Reason"));
        w.writeStartElement(OnvifNs::Soap12, QStringLiteral("Text"));
        w.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("en"));
        w.writeCharacters(reason);
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}
