#include "AdapterEnumeration.h"

#include <cstdio>

namespace {
// The name is kept in the host's 8-bit encoding and must fit 511 bytes and a NUL; cut it
// at a character boundary.
QString fitFriendlyName(QString name)
{
    constexpr qsizetype kMaxBytes = 511;
    while (name.toLocal8Bit().size() > kMaxBytes)
        name.chop(1);
    return name;
}
} // namespace

std::vector<std::unique_ptr<CNetworkAdapterObj>> EnumerateAdapters(const QList<HostInterface> &interfaces)
{
    std::vector<std::unique_ptr<CNetworkAdapterObj>> adapters;
    adapters.reserve(static_cast<size_t>(interfaces.size()));
    for (const HostInterface &host : interfaces) {
        auto adapter = std::make_unique<CNetworkAdapterObj>();
        adapter->m_strName = fitFriendlyName(host.friendlyName);
        for (const HostAddress &address : host.addresses) {
            const bool ipv4 = address.protocol() == QAbstractSocket::IPv4Protocol;
            std::printf("\t%s ", ipv4 ? "IPv4" : "IPv6");
            if (ipv4) { // the last IPv4 address wins
                adapter->m_strAddress = address.toString();
                adapter->m_nPrefixLength = address.prefixLength;
            }
        }
        adapters.push_back(std::move(adapter));
    }
    std::fflush(stdout);
    return adapters;
}

QString AdapterComboText(const CNetworkAdapterObj &adapter)
{
    return QStringLiteral("%1: %2").arg(adapter.m_strName, adapter.m_strAddress);
}
