#pragma once

#include "CameraInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One simulated device. Own-family devices speak the record protocol; vendor-family ones
// speak the vendor library's protocol.
struct SimDevice
{
    enum class Family { Own, Vendor };

    Family family = Family::Own;
    QByteArray mac;
    QByteArray model = "TC-100";
    QByteArray manufacturer = "Talbrixonics";
    QByteArray version = "3.0.0";
    bool dhcp = false;
    QByteArray ip;
    QByteArray mask = "255.255.255.0";
    QByteArray gateway;
    QByteArray dns;
    quint16 webPort = 80;
    bool https = false;
    QByteArray userId = "admin";
    QByteArray password = "admin";
    // Answers "Apply" to a set-network request but keeps its settings: an edit that did not stick.
    bool fakeApply = false;
    // Vendor family only.
    quint16 mediaPort = 8000;
    QByteArray dns2 = "8.8.4.4";
    QByteArray deviceType = "IPC";
};

// The device's description as a search reply (command 4).
CameraInfo SearchReply(const SimDevice &device);

// Reads a device file: {"devices": [{"family": "own", "mac": "...", ...}, ...]}. Keys are
// the member names above ("webPort", "userId", ...). Appends to devices; false and a
// message on error.
bool LoadDeviceFile(const QString &path, QList<SimDevice> &devices, QString &error);

// One device from "key=value,key=value" with the same keys as the device file.
bool ParseDeviceOption(const QString &option, SimDevice &device, QString &error);

// count devices with distinct MACs 02:00:00:xx:xx:xx and addresses from firstIp upwards.
QList<SimDevice> GenerateDevices(SimDevice::Family family, int count, const QByteArray &firstIp, int firstIndex = 0);
