#pragma once

#include "CNetworkAdapterObj.h"
#include "CameraInfo.h"

#include <QString>

// Whether requests may leave through this adapter: not when none is chosen, nor when it has
// no IPv4 address (a socket bound to no address lets the routing table pick another way out,
// and devices of another segment would answer as if they were on this one). The latter is
// traced.
bool CanSendThrough(const CNetworkAdapterObj *adapter);

// What the user is told when CanSendThrough is false.
QString NothingSentReason(const CNetworkAdapterObj *adapter);

// Broadcasts packet (371 bytes) from the adapter's address; false, and nothing sent, when
// CanSendThrough is false.
bool BroadcastThrough(const CNetworkAdapterObj *adapter, const CameraInfo &packet, quint16 devicePort);

// The adapter's IPv4 network, such as "10.77.1.0/24"; empty without an address or prefix.
QString AdapterNetworkText(const CNetworkAdapterObj &adapter);

// True when address (dotted decimal) lies inside the adapter's IPv4 network.
bool IsInAdapterNetwork(const CNetworkAdapterObj &adapter, const QString &address);
