#pragma once

#include "SimAddresses.h"
#include "SimDevice.h"
#include "ZekMessages.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUdpSocket>

#include <memory>
#include <vector>

class DatagramLog;
class QNetworkDatagram;

// Plays the vendor-family devices: answers the library's probes with each device's
// description, applies network changes addressed to a device's MAC, and on each device's media
// port takes logins, reboots, factory resets and logouts. A device is reached at the address it
// reports and its media port; several devices may share the simulator's address with distinct
// media ports.
class VendorProtocolSim final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        int rebootTimeMs = 3000;           // how long a rebooting device stays silent
        bool answerTwice = false;          // every probe answer goes out twice
        QStringList malformed;             // kinds of broken answers sent with every probe answer
        AnswerStyle style;                 // order and timing of probe answers
        SimAddresses *addresses = nullptr; // set: devices answer from their own addresses
    };

    VendorProtocolSim(QList<SimDevice> &devices, DatagramLog &log, Options options, QObject *parent = nullptr);

    bool Start(QString &error);

private:
    struct Session
    {
        quint32 id = 0;
        QHostAddress client;
    };

    struct DeviceState
    {
        SimDevice factory; // what a factory reset restores
        QList<Session> sessions;
        QDeadlineTimer silentUntil; // expired unless rebooting
    };

    void OnDiscovery();
    void OnControl(QUdpSocket &socket);
    void AnswerProbe(quint32 requestId);
    void ModifyNetwork(const ZekModifyNetwork &request);
    void Login(QUdpSocket &socket, const QNetworkDatagram &datagram, const ZekLogin &login);
    void SessionCommand(QUdpSocket &socket, const QNetworkDatagram &datagram, const ZekSessionRequest &request);
    // The vendor device, awake or not, at this address and media port, or -1.
    int TakenBy(const QByteArray &ip, quint16 mediaPort) const;
    // The awake vendor device at this address and media port, or -1.
    int FindTarget(const char (&targetIp)[16], quint16 targetPort, quint16 arrivedOn) const;
    bool IsAwake(int index) const;
    QList<QByteArray> MalformedAnswers(quint32 requestId) const;
    QHostAddress SourceOf(const SimDevice &device) const;
    // Answers a request from the address it was sent to: a device's own.
    void Reply(QUdpSocket &socket, const QNetworkDatagram &request, const QByteArray &answer);

    QList<SimDevice> &m_devices;
    DatagramLog &m_log;
    Options m_options;
    std::vector<DeviceState> m_states; // by index into m_devices
    QUdpSocket m_discovery;
    std::vector<std::unique_ptr<QUdpSocket>> m_control; // one per media port in use
};
