#include "WsDiscoveryMessages.h"

#include "OnvifNamespaces.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>

#include <vector>

namespace {
// SOAP 1.1's envelope: a few older devices answer in it.
const QLatin1StringView kSoap11("http://schemas.xmlsoap.org/soap/envelope/");
// Bounds on what one message may carry; more is dropped, not stored.
constexpr qsizetype kMaxMatches = 64;
constexpr qsizetype kMaxListEntries = 256;

QByteArray probeTemplate(WsProbeType type)
{
    const bool device = type == WsProbeType::Device;
    const QByteArray typeNamespace = device ? QByteArray("xmlns:tds=\"") + QByteArray(OnvifNs::DeviceWsdl.data()) + '"'
                                            : QByteArray("xmlns:dn=\"") + QByteArray(OnvifNs::NetworkWsdl.data()) + '"';
    const QByteArray typeName = device ? kWsTypeDevice.toLatin1() : kWsTypeNetworkVideoTransmitter.toLatin1();
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                             "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
                             "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\"><s:Header>"
                             "<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"
                             "</a:Action><a:MessageID>%ID%</a:MessageID><a:ReplyTo><a:Address>"
                             "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:Address></a:ReplyTo>"
                             "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
                             "</s:Header><s:Body><Probe xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">"
                             "<d:Types xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" ")
           + typeNamespace + '>' + typeName + QByteArrayLiteral("</d:Types><Scopes/></Probe></s:Body></s:Envelope>");
}

QStringList splitList(const QString &text)
{
    QStringList list = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (list.size() > kMaxListEntries)
        list.resize(kMaxListEntries);
    return list;
}

// Reads the document by namespace URI and local name, keeping the namespace declarations in
// scope so that the qualified names inside Types resolve by URI too.
class Reader final
{
public:
    explicit Reader(QByteArrayView data)
        : m_xml(data.toByteArray())
    {
    }

    // The next token; false at the end or on an error. Keeps the namespace scopes.
    bool Next()
    {
        if (m_xml.atEnd())
            return false;
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        if (token == QXmlStreamReader::DTD) {
            m_refused = QStringLiteral("a DTD");
            return false;
        }
        if (token == QXmlStreamReader::StartElement)
            m_scopes.push_back(m_xml.namespaceDeclarations());
        if (token == QXmlStreamReader::EndElement && !m_scopes.empty())
            m_popPending = true;
        return !m_xml.hasError() && token != QXmlStreamReader::Invalid;
    }

    // Call after handling an EndElement token.
    void Ended()
    {
        if (m_popPending && !m_scopes.empty())
            m_scopes.pop_back();
        m_popPending = false;
    }

    bool IsStart() const { return m_xml.tokenType() == QXmlStreamReader::StartElement; }
    bool IsEnd() const { return m_xml.tokenType() == QXmlStreamReader::EndElement; }
    bool Is(QLatin1StringView ns, QLatin1StringView name) const
    {
        return m_xml.namespaceUri() == ns && m_xml.name() == name;
    }

    // Skips the element just started, to its end.
    bool Skip()
    {
        int depth = 1;
        while (depth > 0 && Next()) {
            if (IsStart())
                ++depth;
            else if (IsEnd()) {
                --depth;
                Ended();
            }
        }
        return depth == 0;
    }

    // The text of the element just started (child elements are skipped); to its end. With
    // qnames, also the text's space-separated qualified names, resolved in the element's scope.
    bool Text(QString &text, QStringList *qnames = nullptr)
    {
        text.clear();
        while (Next()) {
            if (IsEnd()) {
                text = text.trimmed();
                if (qnames) {
                    qnames->clear();
                    for (const QString &name : splitList(text))
                        qnames->append(Resolve(name));
                }
                Ended();
                return true;
            }
            if (IsStart()) {
                if (!Skip())
                    return false;
            } else if (m_xml.isCharacters()) {
                text += m_xml.text();
            }
        }
        return false;
    }

    // A qualified name in text, resolved in the current scope ("dn:..." and "tds:..." for the
    // two ONVIF types, "{uri}local" otherwise).
    QString Resolve(const QString &qname) const
    {
        const qsizetype colon = qname.indexOf(QLatin1Char(':'));
        const QString prefix = colon < 0 ? QString() : qname.left(colon);
        const QString local = colon < 0 ? qname : qname.mid(colon + 1);
        QString uri;
        bool found = false;
        for (auto scope = m_scopes.rbegin(); scope != m_scopes.rend() && !found; ++scope) {
            for (const QXmlStreamNamespaceDeclaration &declaration : *scope) {
                if (declaration.prefix() == prefix) {
                    uri = declaration.namespaceUri().toString();
                    found = true;
                    break;
                }
            }
        }
        if (uri == OnvifNs::NetworkWsdl)
            return QStringLiteral("dn:") + local;
        if (uri == OnvifNs::DeviceWsdl)
            return QStringLiteral("tds:") + local;
        return QStringLiteral("{%1}%2").arg(uri, local);
    }

    QString Error() const
    {
        if (!m_refused.isEmpty())
            return m_refused;
        if (m_xml.hasError())
            return QStringLiteral("not well-formed XML (%1)").arg(m_xml.errorString());
        return {};
    }
    bool Failed() const { return m_xml.hasError() || !m_refused.isEmpty(); }
    QXmlStreamReader &Xml() { return m_xml; }

private:
    QXmlStreamReader m_xml;
    std::vector<QXmlStreamNamespaceDeclarations> m_scopes;
    bool m_popPending = false;
    QString m_refused;
};

// The children of a ProbeMatch, a Hello or a Bye, up to the end of the element that holds them.
bool readMatch(Reader &r, WsDiscoveryMatch &match)
{
    while (r.Next()) {
        if (r.IsEnd()) {
            r.Ended();
            return true;
        }
        if (!r.IsStart())
            continue;
        QString text;
        if (r.Is(OnvifNs::Addressing, QLatin1StringView("EndpointReference"))) {
            while (r.Next()) {
                if (r.IsEnd()) {
                    r.Ended();
                    break;
                }
                if (!r.IsStart())
                    continue;
                if (r.Is(OnvifNs::Addressing, QLatin1StringView("Address"))) {
                    if (!r.Text(match.endpoint))
                        return false;
                } else if (!r.Skip()) {
                    return false;
                }
            }
        } else if (r.Is(OnvifNs::Discovery, QLatin1StringView("Types"))) {
            if (!r.Text(text, &match.types))
                return false;
        } else if (r.Is(OnvifNs::Discovery, QLatin1StringView("Scopes"))) {
            if (!r.Text(text))
                return false;
            match.scopes = splitList(text);
        } else if (r.Is(OnvifNs::Discovery, QLatin1StringView("XAddrs"))) {
            if (!r.Text(text))
                return false;
            match.xaddrs = splitList(text);
        } else if (r.Is(OnvifNs::Discovery, QLatin1StringView("MetadataVersion"))) {
            if (!r.Text(text))
                return false;
            match.metadataVersion = text.toUInt();
        } else if (!r.Skip()) {
            return false;
        }
    }
    return false;
}
} // namespace

QString NewWsMessageId()
{
    return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray BuildWsProbe(WsProbeType type, const QString &messageId)
{
    QByteArray probe = probeTemplate(type);
    // The identifier is ours (a UUID), but escape it anyway: the template is XML.
    return probe.replace("%ID%", messageId.toHtmlEscaped().toUtf8());
}

QString NormalisedWsId(const QString &id)
{
    QString text = id.trimmed().toLower();
    if (text.startsWith(QLatin1String("urn:")))
        text.remove(0, 4);
    if (text.startsWith(QLatin1String("uuid:")))
        text.remove(0, 5);
    return text;
}

std::optional<WsDiscoveryMessage> ParseWsDiscovery(QByteArrayView datagram, QString *why)
{
    const auto refuse = [why](const QString &reason) -> std::optional<WsDiscoveryMessage> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (datagram.size() > kWsDiscoveryMaxBytes)
        return refuse(QStringLiteral("%1 bytes, more than %2").arg(datagram.size()).arg(kWsDiscoveryMaxBytes));
    if (datagram.isEmpty())
        return refuse(QStringLiteral("empty"));

    Reader r(datagram);
    WsDiscoveryMessage message;
    bool envelope = false;
    bool body = false;
    bool content = false;
    // Envelope, then its Header and Body; anything else in them is skipped.
    while (r.Next()) {
        if (r.IsEnd()) {
            r.Ended();
            continue;
        }
        if (!r.IsStart())
            continue;
        if (!envelope) {
            if (!r.Is(OnvifNs::Soap12, QLatin1StringView("Envelope")) && !r.Is(kSoap11, QLatin1StringView("Envelope")))
                return refuse(QStringLiteral("not a SOAP envelope"));
            envelope = true;
            continue;
        }
        const QStringView ns = r.Xml().namespaceUri();
        const bool soap = ns == OnvifNs::Soap12 || ns == kSoap11;
        if (soap && r.Xml().name() == QLatin1StringView("Header")) {
            while (r.Next()) {
                if (r.IsEnd()) {
                    r.Ended();
                    break;
                }
                if (!r.IsStart())
                    continue;
                bool ok = true;
                if (r.Is(OnvifNs::Addressing, QLatin1StringView("MessageID")))
                    ok = r.Text(message.messageId);
                else if (r.Is(OnvifNs::Addressing, QLatin1StringView("RelatesTo")))
                    ok = r.Text(message.relatesTo);
                else
                    ok = r.Skip();
                if (!ok)
                    break;
            }
        } else if (soap && r.Xml().name() == QLatin1StringView("Body")) {
            body = true;
            while (r.Next()) {
                if (r.IsEnd()) {
                    r.Ended();
                    break;
                }
                if (!r.IsStart())
                    continue;
                bool ok = true;
                if (content) {
                    ok = r.Skip(); // one message per envelope
                } else if (r.Is(OnvifNs::Discovery, QLatin1StringView("ProbeMatches"))) {
                    content = true;
                    message.kind = WsDiscoveryMessage::Kind::ProbeMatches;
                    while ((ok = r.Next())) {
                        if (r.IsEnd()) {
                            r.Ended();
                            break;
                        }
                        if (!r.IsStart())
                            continue;
                        if (!r.Is(OnvifNs::Discovery, QLatin1StringView("ProbeMatch"))) {
                            if (!(ok = r.Skip()))
                                break;
                            continue;
                        }
                        WsDiscoveryMatch match;
                        if (!(ok = readMatch(r, match)))
                            break;
                        if (!match.endpoint.isEmpty() && message.matches.size() < kMaxMatches)
                            message.matches.append(match);
                    }
                } else if (r.Is(OnvifNs::Discovery, QLatin1StringView("Hello"))
                           || r.Is(OnvifNs::Discovery, QLatin1StringView("Bye"))) {
                    content = true;
                    message.kind = r.Xml().name() == QLatin1StringView("Hello") ? WsDiscoveryMessage::Kind::Hello
                                                                                : WsDiscoveryMessage::Kind::Bye;
                    WsDiscoveryMatch match;
                    ok = readMatch(r, match);
                    if (ok && !match.endpoint.isEmpty())
                        message.matches.append(match);
                } else if (r.Is(OnvifNs::Discovery, QLatin1StringView("Probe"))) {
                    content = true;
                    message.kind = WsDiscoveryMessage::Kind::Probe;
                    while ((ok = r.Next())) {
                        if (r.IsEnd()) {
                            r.Ended();
                            break;
                        }
                        if (!r.IsStart())
                            continue;
                        QString text;
                        ok = r.Is(OnvifNs::Discovery, QLatin1StringView("Types")) ? r.Text(text, &message.probeTypes)
                                                                                  : r.Skip();
                        if (!ok)
                            break;
                    }
                } else {
                    ok = r.Skip();
                }
                if (!ok)
                    break;
            }
        } else if (!r.Skip()) {
            break;
        }
    }
    if (r.Failed())
        return refuse(r.Error());
    if (!envelope || !body || !content)
        return refuse(QStringLiteral("no discovery message in it"));
    if (message.kind == WsDiscoveryMessage::Kind::ProbeMatches && message.matches.isEmpty())
        return refuse(QStringLiteral("a ProbeMatches without an endpoint"));
    if ((message.kind == WsDiscoveryMessage::Kind::Hello || message.kind == WsDiscoveryMessage::Kind::Bye)
        && message.matches.isEmpty())
        return refuse(QStringLiteral("a Hello or Bye without an endpoint"));
    return message;
}

QString NormalisedMac(const QString &text)
{
    QString hex;
    for (const QChar c : text) {
        if (c == QLatin1Char(':') || c == QLatin1Char('-') || c == QLatin1Char('.'))
            continue;
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')))
            return {};
        hex += c.toUpper();
    }
    if (hex.size() != 12)
        return {};
    QString mac;
    for (int i = 0; i < 12; i += 2) {
        if (i > 0)
            mac += QLatin1Char(':');
        mac += hex.mid(i, 2);
    }
    return mac;
}

OnvifScopeValues DecodeOnvifScopes(const QStringList &scopes)
{
    static const QLatin1StringView prefix("onvif://www.onvif.org/");
    OnvifScopeValues values;
    for (const QString &scope : scopes) {
        if (!scope.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString rest = scope.mid(prefix.size());
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        if (slash <= 0)
            continue;
        const QString key = rest.left(slash);
        const QString value = QUrl::fromPercentEncoding(rest.mid(slash + 1).toUtf8()).trimmed();
        if (value.isEmpty())
            continue;
        if (key.compare(QLatin1String("hardware"), Qt::CaseInsensitive) == 0 && values.hardware.isEmpty())
            values.hardware = value;
        else if (key.compare(QLatin1String("name"), Qt::CaseInsensitive) == 0 && values.name.isEmpty())
            values.name = value;
        else if (key.compare(QLatin1String("MacAddress"), Qt::CaseInsensitive) == 0 && values.mac.isEmpty())
            values.mac = NormalisedMac(value);
    }
    return values;
}
