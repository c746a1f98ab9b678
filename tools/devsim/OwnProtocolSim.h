#pragma once

#include "SimAddresses.h"
#include "SimDevice.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUdpSocket>

class DatagramLog;

// Plays the own-family devices: answers search requests on the device port with each
// device's record, and applies set-network requests addressed to one of them.
class OwnProtocolSim final : public QObject
{
    Q_OBJECT

public:
    struct Faults
    {
        bool answerTwice = false; // every answer goes out twice
        int answerDelayMs = 0;    // answers leave this late
        QStringList malformed;    // short, long, empty, nonul, unknown: sent with every search answer
        int flood = 0;            // datagrams of every kind (FloodDatagrams) sent on the first search
        AnswerStyle style;        // order and timing of search answers
    };

    // addresses: where devices answer from their own addresses, else null.
    OwnProtocolSim(QList<SimDevice> &devices, DatagramLog &log, quint16 devicePort, quint16 replyPort, Faults faults,
                   SimAddresses *addresses, QObject *parent = nullptr);

    bool Start(QString &error);

private:
    void OnReadyRead();
    void AnswerSearch();
    void AnswerSetNetwork(const CameraInfo &request);
    void Send(const QList<SimAnswer> &answers);
    void SendNow(const QList<SimAnswer> &answers);
    QHostAddress SourceOf(const SimDevice &device);
    QList<QByteArray> MalformedAnswers() const;

    QList<SimDevice> &m_devices;
    DatagramLog &m_log;
    quint16 m_devicePort;
    quint16 m_replyPort;
    Faults m_faults;
    SimAddresses *m_addresses;
    QUdpSocket m_socket;
    bool m_flooded = false;
};
