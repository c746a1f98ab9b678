#pragma once

// The SOAP 1.2 messages of the device management service: requests written compactly with
// escaped values, replies read by namespace URI and local name, never by prefix.

#include "OnvifClient.h"
#include "OnvifDevice.h"
#include "UsernameToken.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QXmlStreamWriter>

#include <functional>
#include <optional>
#include <vector>

// A parsed XML document as a flat list of elements; element 0 is the root. Built without
// recursion and with a depth limit, so that no document can exhaust the stack.
class XmlTree final
{
public:
    struct Element
    {
        QString ns;
        QString name;
        QString text; // the element's own character data, trimmed
        QXmlStreamAttributes attributes;
        QXmlStreamNamespaceDeclarations declarations;
        int parent = -1;
        QList<int> children;
    };

    // Nothing (an empty tree) when xml is not one well-formed document.
    static XmlTree Parse(const QByteArray &xml);

    bool IsEmpty() const { return m_elements.empty(); }
    const Element &At(int index) const { return m_elements[static_cast<std::size_t>(index)]; }
    // The first child of element with this namespace and local name, or -1.
    int Child(int element, QAnyStringView ns, QAnyStringView name) const;
    QList<int> Children(int element, QAnyStringView ns, QAnyStringView name) const;
    // Follows a path of children in one namespace; -1 where a step is missing.
    int Path(int element, QAnyStringView ns, std::initializer_list<QAnyStringView> names) const;
    QString Text(int element) const { return element < 0 ? QString() : At(element).text; }
    // The namespace URI a QName text such as "ter:NotAuthorized" names, with its local part.
    std::pair<QString, QString> ResolveQName(int element, const QString &qname) const;

private:
    std::vector<Element> m_elements;
};

using SoapBody = std::function<void(QXmlStreamWriter &)>;

// One call: the operation's name (also its action) and its body.
struct SoapCall
{
    QString operation;
    SoapBody body;
};

// Pieces of messages: an element of the device service's (tds) or of the schema's (tt)
// namespace holding text, a boolean as the schema writes it, and a child's text.
void WriteDeviceElement(QXmlStreamWriter &w, const char *name, const QString &value);
void WriteSchemaElement(QXmlStreamWriter &w, const char *name, const QString &value);
QString XmlBool(bool value);
QString SchemaText(const XmlTree &tree, int element, const char *name);
QString DeviceText(const XmlTree &tree, int element, const char *name);

// The whole request envelope, with a WS-Security header when token is set.
QByteArray SoapEnvelope(const SoapBody &body, const UsernameToken *token = nullptr);
// "http://www.onvif.org/ver10/device/wsdl/GetDNS"
QString SoapAction(const QString &operation);

// Calls without arguments: the Get calls and SystemReboot.
SoapCall PlainCall(const QString &operation);
SoapCall SetNetworkDefaultGatewayCall(const QString &gateway);
SoapCall SetDnsCall(const QString &dns);

struct NetworkProtocol
{
    QString name; // HTTP, HTTPS, RTSP
    bool enabled = false;
    QList<int> ports;
};
SoapCall SetNetworkProtocolsCall(const QList<NetworkProtocol> &protocols);
// DHCP, or a manual address with the prefix length.
SoapCall SetNetworkInterfacesCall(const QString &token, bool dhcp, const QString &ip, int prefixLength);
SoapCall SetSystemFactoryDefaultCall(bool hard);

// A SOAP fault: its codes (Code/Value, then each Subcode/Value) as namespace URI and local name.
struct SoapFault
{
    QList<std::pair<QString, QString>> codes;
    QString reason;
    bool Has(QAnyStringView ns, QAnyStringView name) const;
};

// A reply read into its tree; Body() is -1 when it is not a SOAP 1.2 envelope with a body.
class SoapReply final
{
public:
    explicit SoapReply(const QByteArray &xml);

    bool IsValid() const { return m_body >= 0; }
    std::optional<SoapFault> Fault() const;
    // The body's child in the device service's namespace, or -1.
    int Response(QAnyStringView name) const;
    const XmlTree &Tree() const { return m_tree; }
    int Body() const { return m_body; }

private:
    XmlTree m_tree;
    int m_body = -1;
};

// Readers of the replies; false when the reply is not the expected response.
bool ReadSystemDateAndTime(const SoapReply &reply, QDateTime &utc);
bool ReadNetworkInterfaces(const SoapReply &reply, OnvifSettings &settings);
bool ReadDns(const SoapReply &reply, OnvifSettings &settings);
bool ReadNetworkDefaultGateway(const SoapReply &reply, OnvifSettings &settings);
bool ReadNetworkProtocols(const SoapReply &reply, QList<NetworkProtocol> &protocols);
bool ReadDeviceInformation(const SoapReply &reply, OnvifSettings &settings);
bool ReadRebootNeeded(const SoapReply &reply, bool &rebootNeeded);

// The first port of the enabled HTTP protocol, or -1.
int WebPortOf(const QList<NetworkProtocol> &protocols);
// How a fault reads to the user: a refused login, a refused address, or a failure.
OnvifResult ResultOfFault(const SoapFault &fault);

// "255.255.255.0" -> 24; -1 for a text that is no contiguous IPv4 mask.
int PrefixLengthOfMask(const QString &mask);
QString MaskOfPrefixLength(int prefixLength);
// A dotted-quad IPv4 address that a device can take (not 0.0.0.0, multicast or broadcast).
bool IsUsableIPv4(const QString &ip);

// A fault envelope, as a device sends it: code is "Sender" or "Receiver" in the envelope's
// namespace; subcodes are ONVIF's error codes ("NotAuthorized").
QByteArray SoapFaultEnvelope(const QString &code, const QStringList &subcodes, const QString &reason);
