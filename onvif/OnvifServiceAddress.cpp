#include "OnvifServiceAddress.h"

#include "AdapterSubnet.h"

namespace {
const QHostAddress kLinkLocalNetwork(QStringLiteral("169.254.0.0"));
constexpr int kLinkLocalPrefix = 16;

QHostAddress ipv4Host(const QUrl &url)
{
    const QHostAddress host(url.host());
    return host.protocol() == QAbstractSocket::IPv4Protocol ? host : QHostAddress();
}

bool isServiceUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !ipv4Host(url).isNull();
}

bool usableHost(const QHostAddress &host, const CNetworkAdapterObj &adapter)
{
    const quint32 ip = host.toIPv4Address();
    if (ip == 0 || (ip >> 24) == 127)
        return false;
    if (host.isInSubnet(kLinkLocalNetwork, kLinkLocalPrefix))
        return QHostAddress(adapter.m_strAddress).isInSubnet(kLinkLocalNetwork, kLinkLocalPrefix);
    return true;
}
} // namespace

OnvifServiceChoice ChooseOnvifServiceAddress(const QStringList &xaddrs, const QHostAddress &source,
                                             const CNetworkAdapterObj &adapter)
{
    QList<QUrl> urls;
    for (const QString &xaddr : xaddrs) {
        const QUrl url(xaddr, QUrl::StrictMode);
        if (isServiceUrl(url))
            urls.append(url);
    }
    const QHostAddress answerer = source.protocol() == QAbstractSocket::IPv4Protocol
                                      ? source
                                      : QHostAddress(source.toIPv4Address());
    for (const QUrl &url : std::as_const(urls)) {
        const QHostAddress host = ipv4Host(url);
        if (usableHost(host, adapter) && IsInAdapterSubnet(adapter, host))
            return {url, true};
    }
    for (const QUrl &url : std::as_const(urls)) {
        if (ipv4Host(url).isEqual(answerer, QHostAddress::ConvertV4MappedToIPv4))
            return {url, true};
    }
    QList<QUrl> elsewhere;
    for (const QUrl &url : std::as_const(urls)) {
        if (usableHost(ipv4Host(url), adapter))
            elsewhere.append(url);
    }
    if (!elsewhere.isEmpty())
        return {elsewhere.front(), false};
    if (answerer.isNull() || answerer.toIPv4Address() == 0)
        return {};
    QUrl url = urls.isEmpty() ? QUrl(QStringLiteral("http://0.0.0.0/onvif/device_service")) : urls.front();
    url.setHost(answerer.toString());
    return {url, true};
}

OnvifDevice MakeOnvifDevice(const WsDiscoveryMatch &match, const QHostAddress &source,
                            const CNetworkAdapterObj &adapter)
{
    OnvifDevice device;
    device.endpoint = match.endpoint;
    device.answerSource = source;
    const OnvifServiceChoice choice = ChooseOnvifServiceAddress(match.xaddrs, source, adapter);
    device.serviceAddress = choice.url;
    device.credentialsSafe = choice.credentialsSafe;
    device.types = match.types;
    device.scopes = match.scopes;
    device.xaddrs = match.xaddrs;
    device.metadataVersion = match.metadataVersion;
    const OnvifScopeValues values = DecodeOnvifScopes(match.scopes);
    device.mac = values.mac;
    device.hardware = values.hardware;
    device.name = values.name;
    return device;
}

QUrl ServiceAddressAfterWebPort(const QUrl &service, int oldPort, int newPort)
{
    if (oldPort <= 0 || newPort <= 0 || newPort > 0xFFFF || service.scheme().toLower() != QLatin1String("http")
        || service.port(kHttpPort) != oldPort)
        return service;
    QUrl moved = service;
    moved.setPort(newPort == kHttpPort ? -1 : newPort);
    return moved;
}
