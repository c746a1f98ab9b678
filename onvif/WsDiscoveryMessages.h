#pragma once

// WS-Discovery 2005/04 as ONVIF uses it: the two probes Corvane sends, and the ProbeMatches,
// Hello and Bye it reads. Pure functions: no sockets, no state.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Longer than this a discovery datagram is refused unread (DPWS caps envelopes at 4 KB, ONVIF
// sets no cap; real answers stay under 4 KB).
inline constexpr qsizetype kWsDiscoveryMaxBytes = 64 * 1024;

// Which devices a probe asks for. A probe's types are all matched, and older firmware announces
// only dn:NetworkVideoTransmitter, so Corvane sends one probe of each.
enum class WsProbeType {
    Device,                 // tds:Device
    NetworkVideoTransmitter // dn:NetworkVideoTransmitter
};

// A new MessageID: "urn:uuid:" and a random UUID.
QString NewWsMessageId();

// The probe, in the compact wire format (one line, prefixes declared on d:Types itself), with
// messageId as its MessageID.
QByteArray BuildWsProbe(WsProbeType type, const QString &messageId);

// An identifier in the lenient form used to compare them: "urn:uuid:" or "uuid:" dropped,
// lower case, spaces trimmed. Devices echo either form of the probe's MessageID in RelatesTo.
QString NormalisedWsId(const QString &id);

// The qualified names Corvane knows are written with their usual prefixes ("dn:...",
// "tds:..."), whatever prefix the message chose; others as "{namespace-uri}local".
inline const QString kWsTypeNetworkVideoTransmitter = QStringLiteral("dn:NetworkVideoTransmitter");
inline const QString kWsTypeDevice = QStringLiteral("tds:Device");

// One ProbeMatch, or what a Hello announces.
struct WsDiscoveryMatch
{
    QString endpoint;   // EndpointReference/Address as written
    QStringList types;  // resolved by namespace URI, see above
    QStringList scopes; // as written (percent-encoded)
    QStringList xaddrs; // as written, in order
    quint32 metadataVersion = 0;
};

struct WsDiscoveryMessage
{
    enum class Kind { ProbeMatches, Hello, Bye, Probe };

    Kind kind = Kind::ProbeMatches;
    QString messageId;
    QString relatesTo;               // ProbeMatches: the probe's MessageID as the device wrote it
    QList<WsDiscoveryMatch> matches; // a Hello's and a Bye's one entry, a ProbeMatches' each
    QStringList probeTypes;          // a Probe's types, resolved as above (for the simulator)
};

// Reads one datagram by namespace URI and local name, never by prefix. Nothing when it is not a
// well-formed SOAP envelope carrying one of these messages (or is longer than
// kWsDiscoveryMaxBytes, or declares a DTD); why then says what was wrong, in a few words.
// ProbeMatch entries without an endpoint are left out; a ProbeMatches left with none is refused.
std::optional<WsDiscoveryMessage> ParseWsDiscovery(QByteArrayView datagram, QString *why = nullptr);

// The scopes' values Corvane lists, percent-decoded; empty when not announced.
struct OnvifScopeValues
{
    QString hardware; // onvif://www.onvif.org/hardware/<model>
    QString name;     // onvif://www.onvif.org/name/<name>
    QString mac;      // onvif://www.onvif.org/MacAddress/<mac>, as "00:1A:2B:3C:4D:5E"
};
OnvifScopeValues DecodeOnvifScopes(const QStringList &scopes);

// A hardware address in any usual writing (colons, dashes, dots or none; either case) as
// "00:1A:2B:3C:4D:5E"; empty when it is not one.
QString NormalisedMac(const QString &text);
