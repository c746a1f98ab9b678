// Any bytes as a datagram on the WS-Discovery probes' port or the announcements' port: no crash,
// nothing read past the datagram, and what is accepted holds what the search relies on. Every
// ProbeMatch, Hello and Bye has an endpoint; the lists stay bounded; the service address chosen
// is an IPv4 http(s) URL; a login may go to it only when its host is the answer's source or on
// the adapter's network; a MAC from the scopes is in the one form the list shows.

#include "FuzzCheck.h"
#include "OnvifServiceAddress.h"
#include "WsDiscoveryMessages.h"

#include <QByteArrayView>
#include <QRegularExpression>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView datagram(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString why;
    const std::optional<WsDiscoveryMessage> message = ParseWsDiscovery(datagram, &why);
    FUZZ_CHECK(message.has_value() == why.isEmpty());
    if (!message)
        return 0;
    FUZZ_CHECK(datagram.size() <= kWsDiscoveryMaxBytes);

    static const CNetworkAdapterObj adapter = [] {
        CNetworkAdapterObj a;
        a.m_strName = QStringLiteral("veth1");
        a.m_strAddress = QStringLiteral("10.77.1.1");
        a.m_nPrefixLength = 24;
        return a;
    }();
    static const QHostAddress source(QStringLiteral("10.77.1.20"));
    static const QHostAddress network(QStringLiteral("10.77.1.0"));
    static const QRegularExpression macForm(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2}){5}$"));

    switch (message->kind) {
    case WsDiscoveryMessage::Kind::ProbeMatches:
        FUZZ_CHECK(!message->matches.isEmpty() && message->matches.size() <= 64);
        break;
    case WsDiscoveryMessage::Kind::Hello:
    case WsDiscoveryMessage::Kind::Bye: FUZZ_CHECK(message->matches.size() == 1); break;
    case WsDiscoveryMessage::Kind::Probe: FUZZ_CHECK(message->matches.isEmpty()); break;
    }
    for (const WsDiscoveryMatch &match : message->matches) {
        FUZZ_CHECK(!match.endpoint.isEmpty());
        FUZZ_CHECK(match.types.size() <= 256 && match.scopes.size() <= 256 && match.xaddrs.size() <= 256);
        const OnvifDevice device = MakeOnvifDevice(match, source, adapter);
        FUZZ_CHECK(device.endpoint == match.endpoint);
        FUZZ_CHECK(device.mac.isEmpty() || macForm.match(device.mac).hasMatch());
        FUZZ_CHECK(NormalisedMac(device.mac) == device.mac);
        // Never empty here: the source is known, so the source stands in for missing XAddrs.
        FUZZ_CHECK(device.serviceAddress.isValid());
        const QHostAddress host(device.serviceAddress.host());
        FUZZ_CHECK(host.protocol() == QAbstractSocket::IPv4Protocol);
        const QString scheme = device.serviceAddress.scheme().toLower();
        FUZZ_CHECK(scheme == QLatin1String("http") || scheme == QLatin1String("https"));
        if (device.credentialsSafe)
            FUZZ_CHECK(host == source || host.isInSubnet(network, 24));
        else
            FUZZ_CHECK(host != source && !host.isInSubnet(network, 24));
        const quint32 ip = host.toIPv4Address();
        FUZZ_CHECK(ip != 0 && (ip >> 24) != 127 && (ip >> 16) != 0xa9fe);
    }
    return 0;
}
