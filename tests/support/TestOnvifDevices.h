#pragma once

#include "OnvifDevice.h"

// An ONVIF device as discovery reports it: its service at ip, a login may go there, the model
// and maker from its scopes, and its MAC when it announced one.
inline OnvifDevice MakeOnvifDevice(const QString &endpoint, const QString &ip = QStringLiteral("10.77.1.40"),
                                   const QString &mac = {})
{
    OnvifDevice device;
    device.endpoint = endpoint;
    device.serviceAddress = QUrl(QStringLiteral("http://%1/onvif/device_service").arg(ip));
    device.answerSource = QHostAddress(ip);
    device.credentialsSafe = true;
    device.mac = mac;
    device.hardware = QStringLiteral("NV-200");
    device.name = QStringLiteral("Acme Cameras");
    return device;
}
