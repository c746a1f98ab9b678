#include "AdapterNetwork.h"

#include "CTalbrixSendSocket.h"

#include <QHostAddress>

#include <cstdio>
#include <utility>

bool CanSendThrough(const CNetworkAdapterObj *adapter)
{
    if (!adapter)
        return false;
    if (adapter->m_strAddress.isEmpty()) {
        std::printf("adapter %s has no IPv4 address: nothing sent\n", adapter->m_strName.toLocal8Bit().constData());
        std::fflush(stdout);
        return false;
    }
    return true;
}

QString NothingSentReason(const CNetworkAdapterObj *adapter)
{
    if (!adapter)
        return QStringLiteral("Select a network adapter first: nothing was sent.");
    return QStringLiteral("The network adapter %1 has no IPv4 address: nothing was sent.").arg(adapter->m_strName);
}

bool BroadcastThrough(const CNetworkAdapterObj *adapter, const CameraInfo &packet, quint16 devicePort)
{
    if (!CanSendThrough(adapter))
        return false;
    CTalbrixSendSocket(devicePort).SendPacket(adapter->m_strAddress, adapter->m_nIfIndex, packet);
    return true;
}

namespace {
// The adapter's network as address and prefix; a null address when it is not known.
std::pair<QHostAddress, int> adapterNetwork(const CNetworkAdapterObj &adapter)
{
    const QHostAddress address(adapter.m_strAddress);
    if (address.protocol() != QAbstractSocket::IPv4Protocol || adapter.m_nPrefixLength < 0
        || adapter.m_nPrefixLength > 32)
        return {QHostAddress(), -1};
    const int prefix = adapter.m_nPrefixLength;
    const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    return {QHostAddress(address.toIPv4Address() & mask), prefix};
}
} // namespace

QString AdapterNetworkText(const CNetworkAdapterObj &adapter)
{
    const auto [network, prefix] = adapterNetwork(adapter);
    return network.isNull() ? QString() : QStringLiteral("%1/%2").arg(network.toString()).arg(prefix);
}

bool IsInAdapterNetwork(const CNetworkAdapterObj &adapter, const QString &address)
{
    const auto [network, prefix] = adapterNetwork(adapter);
    const QHostAddress candidate(address);
    return !network.isNull() && candidate.protocol() == QAbstractSocket::IPv4Protocol
           && candidate.isInSubnet(network, prefix);
}
