#include "AdapterNetwork.h"

#include "AdapterSubnet.h"
#include "CTalbrixSendSocket.h"

#include <QHostAddress>

#include <cstdio>

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

QString AdapterNetworkText(const CNetworkAdapterObj &adapter)
{
    const auto [network, prefix] = AdapterSubnet(adapter);
    return network.isNull() ? QString() : QStringLiteral("%1/%2").arg(network.toString()).arg(prefix);
}

bool IsInAdapterNetwork(const CNetworkAdapterObj &adapter, const QString &address)
{
    return IsInAdapterSubnet(adapter, QHostAddress(address));
}
