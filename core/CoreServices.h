#pragma once

#include "AdapterEnumeration.h"
#include "CTalbrixReceveSocket.h"
#include "OnvifClient.h"
#include "OnvifDiscovery.h"
#include "Ports.h"

#include <functional>

// What the engine takes from its surroundings; tests replace any of it.
struct CoreServices
{
    std::function<QList<HostInterface>()> interfaces = &SystemInterfaces;
    quint16 devicePort = DEVICE_PORT;
    quint16 replyPort = REPLY_PORT;
    int receiveBufferBytes = CTalbrixReceveSocket::kReceiveBufferBytes;
    OnvifDiscoveryOptions onvifDiscovery;
    OnvifClientOptions onvifClient;
};
