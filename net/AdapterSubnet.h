#pragma once

#include "CNetworkAdapterObj.h"

#include <QHostAddress>

#include <utility>

// The adapter's IPv4 network as its first address and prefix length; a null address when the
// adapter has no IPv4 address or its prefix is not known.
std::pair<QHostAddress, int> AdapterSubnet(const CNetworkAdapterObj &adapter);

// True when address is an IPv4 address inside the adapter's network.
bool IsInAdapterSubnet(const CNetworkAdapterObj &adapter, const QHostAddress &address);
