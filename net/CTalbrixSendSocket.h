#pragma once

#include "CameraInfo.h"
#include "Ports.h"

#include <QString>

// Broadcasts one record from a chosen host adapter. Binding the socket to the adapter's
// address is what makes the limited broadcast leave through that adapter.
class CTalbrixSendSocket final
{
public:
    explicit CTalbrixSendSocket(quint16 devicePort = DEVICE_PORT)
        : m_devicePort(devicePort)
    {
    }

    // Sends the first 371 bytes of packet from adapterAddress:devicePort to
    // 255.255.255.255:devicePort. Failures are traced, never reported; always returns 0.
    // interfaceIndex is accepted for the callers' sake: adapters never carry one.
    int SendPacket(const QString &adapterAddress, int interfaceIndex, CameraInfo packet);

private:
    quint16 m_devicePort;
};
