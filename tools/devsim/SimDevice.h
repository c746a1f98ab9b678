#pragma once

#include "CameraInfo.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One simulated device. Own-family devices speak the record protocol; vendor-family ones
// speak the vendor library's protocol; ONVIF ones answer WS-Discovery and serve the device
// management service over HTTP, each at its own address.
struct SimDevice
{
    enum class Family { Own, Vendor, Onvif };

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
    // ONVIF only. The endpoint address is the device's identity; empty: a urn:uuid made from the MAC.
    QByteArray endpoint;
    QByteArray serial;
    // Which logins the device service takes: "both", "token" (WS-Security UsernameToken only)
    // or "digest" (HTTP Digest only).
    QByteArray onvifAuth = "both";
    // The HTTP Digest algorithms it offers, in order of preference, separated by spaces.
    QByteArray digestAlgorithms = "MD5";
    int clockOffsetS = 0; // the device's clock minus the real one
    // Who may read its clock with GetSystemDateAndTime: "open" (anyone), "login" (only with a
    // login) or "none" (nobody: the call is not supported). Every reply's Date header tells it.
    QByteArray clockAccess = "open";
    bool rebootNeeded = false;   // SetNetworkInterfaces answers RebootNeeded true
    bool linkLocalFirst = false; // a 169.254 XAddr listed before the real one
    bool nvtOnly = false;        // announces only dn:NetworkVideoTransmitter, not tds:Device
    QByteArray uuidForm = "urn"; // "urn" or "uuid": the form it writes its endpoint and RelatesTo in
    bool bigAnswer = false;      // a ProbeMatch of about 2.7 KB, most of it namespace declarations
    bool macScope = false;       // announces its MAC in an onvif://www.onvif.org/MacAddress/ scope
    QByteArray foreignXAddr;     // names this host in its XAddrs instead of its own address
};

// The device's description as a search reply (command 4).
CameraInfo SearchReply(const SimDevice &device);

// Reads a device file: {"devices": [{"family": "own", "mac": "...", ...}, ...]}. Keys are
// the member names above ("webPort", "userId", ...). Appends to devices; false and a
// message on error.
bool LoadDeviceFile(const QString &path, QList<SimDevice> &devices, QString &error);

// One device from "key=value,key=value" with the same keys as the device file.
bool ParseDeviceOption(const QString &option, SimDevice &device, QString &error);

// count devices with distinct MACs 02:00:00:xx:xx:xx (vendor 02:10:..., ONVIF 02:20:...) and
// addresses from firstIp upwards.
QList<SimDevice> GenerateDevices(SimDevice::Family family, int count, const QByteArray &firstIp, int firstIndex = 0);
