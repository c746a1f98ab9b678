#pragma once

#include "SimAddresses.h"
#include "SimDevice.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUdpSocket>

#include <functional>

class DatagramLog;

// The WS-Discovery side of the simulated ONVIF devices: listens on 239.255.255.250:3702 on this
// namespace's interface and answers each probe for every device whose types match it (all of
// the probe's types), as unicast to the probe's address and port, from the device's own address.
// A repeated probe (same MessageID) is logged but not answered again, as SOAP-over-UDP says.
// Every datagram received is logged ("onvif").
class OnvifDiscoverySim final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        AnswerStyle style;     // order and spread of a probe's answers (--shuffle, --answer-spread)
        int appMaxDelayMs = 0; // each answer at a random moment within this (WS-Discovery: 500)
        QHostAddress group{QStringLiteral("239.255.255.250")};
        quint16 port = 3702;
    };

    OnvifDiscoverySim(const QList<SimDevice> &devices, DatagramLog &log, Options options, QObject *parent = nullptr);

    bool Start(QString &error);

    // A device that has come, or moved: Hello (or Bye) multicast from the device's address as it
    // is in device now. Callable at any time after Start().
    void AnnounceHello(const SimDevice &device);
    void AnnounceBye(const SimDevice &device);

    // Whether the device at this index into the device list is silent now (rebooting): it
    // answers no probe. Unset: none is.
    std::function<bool(int deviceIndex)> silent;

    // The datagrams themselves, for tests and the benchmark.
    static QByteArray ProbeMatches(const SimDevice &device, const QString &relatesTo);
    static QByteArray Hello(const SimDevice &device);
    static QByteArray Bye(const SimDevice &device);

private:
    void OnReadyRead();
    void AnswerProbe(const QByteArray &datagram, const QHostAddress &from, quint16 port);

    const QList<SimDevice> &m_devices;
    DatagramLog &m_log;
    Options m_options;
    QUdpSocket m_socket;
    QSet<QString> m_answered; // MessageIDs of the probes answered, normalised
};
