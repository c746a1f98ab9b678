#pragma once

#include "Ports.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

// The socket on which device answers arrive. It does not read them itself: for every waiting
// datagram it signals receivePacket(), and the owner reads that datagram with ReceiveFrom()
// before the signal returns.
class CTalbrixReceveSocket final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTalbrixReceveSocket)

public:
    // The kernel charges about 1,280 bytes per 372-byte datagram: this holds a burst of
    // some 3,000 answers while the user-interface thread is busy.
    static constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

    // receiveBufferBytes: what Create() asks the kernel for; a stock host grants at most twice
    // net.core.rmem_max (212,992), unless the process may force more.
    explicit CTalbrixReceveSocket(QHostAddress address = QHostAddress(QHostAddress::AnyIPv4),
                                  quint16 port = REPLY_PORT, int receiveBufferBytes = kReceiveBufferBytes,
                                  QObject *parent = nullptr);

    // Binds exclusively (a second program on the port makes this fail) and enlarges the
    // receive buffer. False when the socket cannot be had.
    bool Create();
    void Close();
    bool IsOpen() const;

    // Reads the next waiting datagram: copies at most bufferSize bytes of it and returns its
    // whole length (0 for an empty datagram, more than bufferSize for an oversized one), or
    // -1 on a read error.
    qint64 ReceiveFrom(char *buffer, qint64 bufferSize, QString *senderAddress = nullptr,
                       quint16 *senderPort = nullptr);

    int ReceiveBufferSize() const;
    quint16 LocalPort() const;

Q_SIGNALS:
    void receivePacket();

private:
    void OnReceive();

    mutable QUdpSocket m_socket; // socketOption() is not const
    QHostAddress m_address;
    quint16 m_port;
    int m_receiveBufferBytes;
    quint64 m_datagramsRead = 0;
};
