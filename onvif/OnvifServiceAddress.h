#pragma once

// Which of the addresses a device announces Corvane talks to, and whether a login may go there.

#include "CNetworkAdapterObj.h"
#include "OnvifDevice.h"
#include "WsDiscoveryMessages.h"

#include <QHostAddress>
#include <QStringList>
#include <QUrl>

struct OnvifServiceChoice
{
    QUrl url;                     // empty when nothing can be used
    bool credentialsSafe = false; // url's host is the answer's source or on the adapter's network
};

// In this order:
//  1. the first XAddr whose host is on the adapter's network;
//  2. the first XAddr whose host is the answer's source;
//  3. when no XAddr names a usable host (none, or only 169.254.x.x, 127.x.x.x or 0.0.0.0), the
//     first XAddr's scheme, port and path at the source address (the usual fix for embedded
//     servers that announce 127.0.0.1), or http://<source>/onvif/device_service;
//  4. otherwise the device names only someone else's hosts: the first of them, with
//     credentialsSafe false, so that no password goes there.
// A 169.254 host counts as usable only when the adapter itself is on 169.254.0.0/16. XAddrs that
// are not http or https URLs with an IPv4 host are passed over.
OnvifServiceChoice ChooseOnvifServiceAddress(const QStringList &xaddrs, const QHostAddress &source,
                                             const CNetworkAdapterObj &adapter);

// The device a ProbeMatch or a Hello describes, heard from source on adapter.
OnvifDevice MakeOnvifDevice(const WsDiscoveryMatch &match, const QHostAddress &source,
                            const CNetworkAdapterObj &adapter);

inline constexpr int kHttpPort = 80; // an http URL without a port

// Where the device service answers once the device's HTTP port went from oldPort to newPort: an
// http service at the old port (no port in the URL is 80) moves with it; any other stays where
// it was. The URL is returned unchanged when either port is unknown (not above 0).
QUrl ServiceAddressAfterWebPort(const QUrl &service, int oldPort, int newPort);
