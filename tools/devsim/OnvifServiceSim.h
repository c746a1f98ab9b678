#pragma once

#include "SimAddresses.h"
#include "SimDevice.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTcpServer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DatagramLog;
class QTcpSocket;
class SoapReply;

// Plays the device management service of the ONVIF devices: HTTP/1.1 and SOAP 1.2 at
// http://IP[:webPort]/onvif/device_service, one server per device on its own address. It holds
// each device's settings in the device list, as a real device does, takes the logins its
// onvifAuth names, and moves the device when its address or web port changes: a new web port at
// once (a device that needs a reboot for its address takes the port with it then). SystemReboot
// makes the device silent for rebootTimeMs: no service, no answer to probes. Every request is
// logged as one line (never a password or a digest):
//   {"protocol":"onvif","device":"02:20:..","from":"10.77.1.1","operation":"GetDNS",
//    "login":"none|token|token-text|digest-MD5|digest-SHA-256|...","accepted":true}
class OnvifServiceSim final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        int moveDelayMs = 300;   // a device moves this long after answering the change
        int clockWindowS = 5;    // a UsernameToken's Created may be this far off the device's clock
        int rebootTimeMs = 1000; // how long a rebooting device is silent
        QByteArray realm = "corvane-devsim";
    };

    OnvifServiceSim(QList<SimDevice> &devices, DatagramLog &log, SimAddresses &addresses, Options options,
                    QObject *parent = nullptr);
    ~OnvifServiceSim() override;

    bool Start(QString &error);

    // Called once a device serves at its new address or port: where discovery says Bye for
    // oldIp and Hello for the new one.
    std::function<void(int deviceIndex, const QByteArray &oldIp)> moved;
    // Called once a rebooted device that stayed where it was serves again: where discovery says Hello.
    std::function<void(int deviceIndex)> rebooted;
    // Whether the device is rebooting now, and answers nothing.
    bool IsRebooting(int deviceIndex) const;

private:
    struct Addressing
    {
        bool dhcp = false;
        QByteArray ip;
        QByteArray mask;
    };
    struct DeviceState
    {
        int index = -1; // into m_devices
        SimDevice factory;
        std::unique_ptr<QTcpServer> server;
        quint16 rtspPort = 554;
        QList<QByteArray> nonces;           // digest nonces issued, newest last
        std::optional<Addressing> pending;  // applied at the next reboot
        std::optional<quint16> pendingPort; // the web port, likewise
        bool rebooting = false;
        QList<QPointer<QTcpSocket>> connections; // open now; a device that moves or reboots drops them
    };
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QByteArray Header(const char *name) const;
    };
    struct Response
    {
        int status = 200;
        QByteArray body;
        QList<QByteArray> challenges;
    };

    bool Listen(DeviceState &state, QString &error);
    void OnConnection(DeviceState &state);
    void OnData(DeviceState &state, QTcpSocket &socket);
    Response Handle(DeviceState &state, const Request &request, const QHostAddress &from);
    Response Operate(DeviceState &state, const QString &operation, const SoapReply &soap);
    // The login a request carries, as logged, and whether the device takes it.
    QString LoginOf(DeviceState &state, const Request &request, const SoapReply &soap, bool &digestOk,
                    bool &tokenOk) const;
    QList<QByteArray> Challenges(DeviceState &state);
    void MoveLater(DeviceState &state, const Addressing &addressing);
    void Move(DeviceState &state, const Addressing &addressing, quint16 webPort);
    void Reboot(DeviceState &state);
    void DropConnections(DeviceState &state);
    QDateTime DeviceClock(const DeviceState &state) const;

    QList<SimDevice> &m_devices;
    DatagramLog &m_log;
    SimAddresses &m_addresses;
    Options m_options;
    std::vector<std::unique_ptr<DeviceState>> m_states;
};
