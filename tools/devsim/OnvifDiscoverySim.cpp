#include "OnvifDiscoverySim.h"

#include "DatagramLog.h"
#include "OnvifNamespaces.h"
#include "WsDiscoveryMessages.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <atomic>

namespace {
constexpr qsizetype kMaxRemembered = 100000; // probes whose MessageIDs are kept

// An identifier in the device's form: "urn:uuid:..." or "uuid:...".
QByteArray inForm(const SimDevice &device, const QString &id)
{
    const QString uuid = NormalisedWsId(id);
    return (device.uuidForm == "uuid" ? QStringLiteral("uuid:") : QStringLiteral("urn:uuid:")).toUtf8() + uuid.toUtf8();
}

QByteArray escaped(const QByteArray &text)
{
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

QByteArray scope(const char *key, const QByteArray &value)
{
    return QByteArray("onvif://www.onvif.org/") + key + '/' + QUrl::toPercentEncoding(QString::fromUtf8(value));
}

// The namespace declarations of gSOAP-built firmware (29 with the envelope's own five): a
// 2.7 KB answer, in two IP fragments.
QByteArray manyDeclarations()
{
    static const char *const declarations[] = {
        "xsd=\"http://www.w3.org/2001/XMLSchema\"",         "c14n=\"http://www.w3.org/2001/10/xml-exc-c14n#\"",
        "xenc=\"http://www.w3.org/2001/04/xmlenc#\"",       "wsc=\"http://schemas.xmlsoap.org/ws/2005/02/sc\"",
        "ds=\"http://www.w3.org/2000/09/xmldsig#\"",        "wsa5=\"http://www.w3.org/2005/08/addressing\"",
        "xmime=\"http://tempuri.org/xmime.xsd\"",           "xop=\"http://www.w3.org/2004/08/xop/include\"",
        "tt=\"http://www.onvif.org/ver10/schema\"",         "wsrfbf=\"http://docs.oasis-open.org/wsrf/bf-2\"",
        "wstop=\"http://docs.oasis-open.org/wsn/t-1\"",     "wsrfr=\"http://docs.oasis-open.org/wsrf/r-2\"",
        "tdn=\"http://www.onvif.org/ver10/network/wsdl\"",  "tev=\"http://www.onvif.org/ver10/events/wsdl\"",
        "wsnt=\"http://docs.oasis-open.org/wsn/b-2\"",      "tls=\"http://www.onvif.org/ver10/display/wsdl\"",
        "tmd=\"http://www.onvif.org/ver10/deviceIO/wsdl\"", "tptz=\"http://www.onvif.org/ver20/ptz/wsdl\"",
        "trp=\"http://www.onvif.org/ver10/replay/wsdl\"",   "trt=\"http://www.onvif.org/ver10/media/wsdl\"",
        "trv=\"http://www.onvif.org/ver10/receiver/wsdl\"", "tse=\"http://www.onvif.org/ver10/search/wsdl\"",
        "ter=\"http://www.onvif.org/ver10/error\"",         "tns1=\"http://www.onvif.org/ver10/topics\"",
    };
    QByteArray text;
    for (const char *declaration : declarations)
        text += QByteArray(" xmlns:") + declaration;
    return text;
}

// One envelope in the prefixes gSOAP firmware uses (SOAP-ENV, wsa, wsdd), or in a leaner set.
QByteArray envelope(const SimDevice &device, const QByteArray &action, const QByteArray &relatesTo,
                    const QByteArray &to, const QByteArray &body)
{
    static std::atomic<quint32> messageNumber{0};
    const QByteArray messageId = inForm(device, QUuid::createUuid().toString(QUuid::WithoutBraces));
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
                      " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
                      " xmlns:wsdd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
                      " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
                      " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"";
    if (device.bigAnswer)
        text += manyDeclarations();
    text += "><SOAP-ENV:Header><wsa:MessageID>" + messageId + "</wsa:MessageID>";
    if (!relatesTo.isEmpty())
        text += "<wsa:RelatesTo>" + escaped(relatesTo) + "</wsa:RelatesTo>";
    text += "<wsa:To SOAP-ENV:mustUnderstand=\"true\">" + to
            + "</wsa:To><wsa:Action SOAP-ENV:mustUnderstand=\"true\">"
              "http://schemas.xmlsoap.org/ws/2005/04/discovery/"
            + action + "</wsa:Action><wsdd:AppSequence InstanceId=\"1\" MessageNumber=\""
            + QByteArray::number(++messageNumber) + "\"/></SOAP-ENV:Header><SOAP-ENV:Body>" + body
            + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
    return text;
}

QByteArray endpointReference(const SimDevice &device)
{
    return "<wsa:EndpointReference><wsa:Address>" + escaped(inForm(device, QString::fromLatin1(device.endpoint)))
           + "</wsa:Address></wsa:EndpointReference>";
}

// What a ProbeMatch and a Hello carry.
QByteArray description(const SimDevice &device)
{
    QByteArray scopes = scope("type", "video_encoder") + ' ' + scope("Profile", "Streaming") + ' '
                        + scope("Profile", "T") + ' ' + scope("hardware", device.model) + ' '
                        + scope("name", device.manufacturer) + ' ' + scope("location/country", "czechia") + ' '
                        + scope("location/city", "ostrava");
    if (device.macScope)
        scopes += ' ' + scope("MacAddress", QByteArray(device.mac).replace(':', "").toLower());
    const QByteArray host = device.foreignXAddr.isEmpty() ? device.ip : device.foreignXAddr;
    const QByteArray port = device.webPort == 80 ? QByteArray() : ':' + QByteArray::number(device.webPort);
    QByteArray xaddrs = "http://" + host + port + "/onvif/device_service";
    if (device.linkLocalFirst) {
        const quint32 ip = QHostAddress(QString::fromLatin1(device.ip)).toIPv4Address();
        xaddrs = "http://169.254." + QByteArray::number((ip >> 8) & 0xff) + '.' + QByteArray::number(ip & 0xff) + port
                 + "/onvif/device_service " + xaddrs;
    }
    const QByteArray types = device.nvtOnly ? "dn:NetworkVideoTransmitter" : "dn:NetworkVideoTransmitter tds:Device";
    return endpointReference(device) + "<wsdd:Types>" + types + "</wsdd:Types><wsdd:Scopes>" + escaped(scopes)
           + "</wsdd:Scopes><wsdd:XAddrs>" + escaped(xaddrs) + "</wsdd:XAddrs><wsdd:MetadataVersion>1"
           + "</wsdd:MetadataVersion>";
}

const QByteArray kAnonymous = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
const QByteArray kDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
} // namespace

OnvifDiscoverySim::OnvifDiscoverySim(const QList<SimDevice> &devices, DatagramLog &log, Options options,
                                     QObject *parent)
    : QObject(parent)
    , m_devices(devices)
    , m_log(log)
    , m_options(std::move(options))
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &OnvifDiscoverySim::OnReadyRead);
}

bool OnvifDiscoverySim::Start(QString &error)
{
    if (!m_socket.bind(QHostAddress::AnyIPv4, m_options.port,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        error = QStringLiteral("cannot bind port %1: %2").arg(m_options.port).arg(m_socket.errorString());
        return false;
    }
    const QNetworkInterface nic = NamespaceInterface();
    if (!nic.isValid() || !m_socket.joinMulticastGroup(m_options.group, nic)) {
        error = QStringLiteral("cannot join %1 on the namespace's interface: %2")
                    .arg(m_options.group.toString(), m_socket.errorString());
        return false;
    }
    m_socket.setMulticastInterface(nic);
    m_socket.setSocketOption(QAbstractSocket::MulticastTtlOption, QVariant(1));
    return true;
}

QByteArray OnvifDiscoverySim::ProbeMatches(const SimDevice &device, const QString &relatesTo)
{
    return envelope(device, "ProbeMatches", inForm(device, relatesTo), kAnonymous,
                    "<wsdd:ProbeMatches><wsdd:ProbeMatch>" + description(device)
                        + "</wsdd:ProbeMatch></wsdd:ProbeMatches>");
}

QByteArray OnvifDiscoverySim::Hello(const SimDevice &device)
{
    return envelope(device, "Hello", {}, kDiscoveryTo, "<wsdd:Hello>" + description(device) + "</wsdd:Hello>");
}

QByteArray OnvifDiscoverySim::Bye(const SimDevice &device)
{
    return envelope(device, "Bye", {}, kDiscoveryTo, "<wsdd:Bye>" + endpointReference(device) + "</wsdd:Bye>");
}

void OnvifDiscoverySim::AnnounceHello(const SimDevice &device)
{
    SendFrom(m_socket, Hello(device), QHostAddress(QString::fromLatin1(device.ip)), m_options.group, m_options.port);
}

void OnvifDiscoverySim::AnnounceBye(const SimDevice &device)
{
    SendFrom(m_socket, Bye(device), QHostAddress(QString::fromLatin1(device.ip)), m_options.group, m_options.port);
}

void OnvifDiscoverySim::OnReadyRead()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram(kWsDiscoveryMaxBytes);
        if (!datagram.isValid())
            break;
        const QHostAddress from(datagram.senderAddress().toIPv4Address());
        const quint16 port = static_cast<quint16>(datagram.senderPort());
        m_log.Write("onvif", from, port, datagram.data());
        AnswerProbe(datagram.data(), from, port);
    }
}

void OnvifDiscoverySim::AnswerProbe(const QByteArray &datagram, const QHostAddress &from, quint16 port)
{
    const std::optional<WsDiscoveryMessage> message = ParseWsDiscovery(datagram);
    if (!message || message->kind != WsDiscoveryMessage::Kind::Probe || message->messageId.isEmpty())
        return;
    const QString id = NormalisedWsId(message->messageId);
    if (m_answered.contains(id))
        return; // a repeat
    if (m_answered.size() >= kMaxRemembered)
        m_answered.clear();
    m_answered.insert(id);

    QList<SimAnswer> answers;
    for (int i = 0; i < m_devices.size(); ++i) {
        const SimDevice &device = m_devices[i];
        if (device.family != SimDevice::Family::Onvif || (silent && silent(i)))
            continue;
        const QStringList types = device.nvtOnly ? QStringList{kWsTypeNetworkVideoTransmitter}
                                                 : QStringList{kWsTypeNetworkVideoTransmitter, kWsTypeDevice};
        const bool matches = std::all_of(message->probeTypes.begin(), message->probeTypes.end(),
                                         [&types](const QString &type) { return types.contains(type); });
        if (matches)
            answers.append({ProbeMatches(device, message->messageId), QHostAddress(QString::fromLatin1(device.ip))});
    }
    if (answers.isEmpty())
        return;
    AnswerStyle style = m_options.style;
    if (m_options.appMaxDelayMs > 0)
        style.spreadMs = m_options.appMaxDelayMs;
    SendAnswers(m_socket, answers, style, from, port);
}
