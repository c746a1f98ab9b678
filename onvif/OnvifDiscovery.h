#pragma once

// Contract of the WS-Discovery search; implemented in OnvifDiscovery.cpp.

#include "CNetworkAdapterObj.h"
#include "OnvifDevice.h"

#include <QObject>

#include <memory>

// Where probes go and Hello/Bye are heard; tests inject their own.
struct OnvifDiscoveryOptions
{
    QHostAddress group{QStringLiteral("239.255.255.250")};
    quint16 port = 3702;
    int receiveBufferBytes = 0; // 0: the socket group's default
};

// Probes for ONVIF devices through one adapter only (its address, its interface, TTL 1) and
// reports each device once, by endpoint address. Nothing waits: results arrive as signals.
class OnvifDiscovery final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnvifDiscovery)

public:
    explicit OnvifDiscovery(OnvifDiscoveryOptions options = {}, QObject *parent = nullptr);
    ~OnvifDiscovery() override;

    // Forgets the devices reported and sends the probes (both types, repeated, then a second
    // round). False when nothing could be sent through adapter.
    bool Start(const CNetworkAdapterObj &adapter);
    void Stop();
    // Also hear Hello and Bye on the adapter (for watching); false when the port cannot be had.
    bool ListenForAnnouncements(const CNetworkAdapterObj &adapter);

Q_SIGNALS:
    void deviceFound(const OnvifDevice &device);
    // A known endpoint announced itself again with other addresses (a Hello, or a later match).
    void deviceChanged(const OnvifDevice &device);
    void deviceLeft(const QString &endpoint); // a Bye

private:
    struct Private;
    std::unique_ptr<Private> d;
};
