#include "AdapterSubnet.h"

std::pair<QHostAddress, int> AdapterSubnet(const CNetworkAdapterObj &adapter)
{
    const QHostAddress address(adapter.m_strAddress);
    if (address.protocol() != QAbstractSocket::IPv4Protocol || adapter.m_nPrefixLength < 0
        || adapter.m_nPrefixLength > 32)
        return {QHostAddress(), -1};
    const int prefix = adapter.m_nPrefixLength;
    const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    return {QHostAddress(address.toIPv4Address() & mask), prefix};
}

bool IsInAdapterSubnet(const CNetworkAdapterObj &adapter, const QHostAddress &address)
{
    const auto [network, prefix] = AdapterSubnet(adapter);
    return !network.isNull() && address.protocol() == QAbstractSocket::IPv4Protocol
           && address.isInSubnet(network, prefix);
}
