#pragma once

#include "DatagramReceiver.h"
#include "Ports.h"
#include "SocketGroup.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>

// The socket on which device answers arrive. It does not interpret them: for every waiting
// datagram it signals receivePacket() on the thread it belongs to, and the owner reads that
// datagram with ReceiveFrom() before the signal returns. A thread of its own empties the
// kernel's buffer as replies arrive, so a burst from thousands of devices is not lost while
// the user-interface thread is busy. Several sockets share the port (SocketGroup), each with its
// own buffer; datagrams are handed over in the order each socket received them, and all the
// answers of one device arrive on the same socket.
class CTalbrixReceveSocket final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTalbrixReceveSocket)

public:
    // The kernel charges about 1,280 bytes per 372-byte datagram: this holds a burst of
    // some 3,000 answers, where the host allows it.
    static constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
    // Sockets on the port: a stock host grants each about 330 answers' room.
    static constexpr int kSockets = 8;
    // The owner's thread gets datagrams in hand-overs of at most kHandOverSliceMs, which begin
    // at least kHandOverIntervalMs apart: its other events (a click, and a repaint of a list
    // that has grown) run between them, and a burst costs a few repaints, not one per batch.
    // The first datagram after a quiet spell is handed over at once. Every 16 ms (a frame at
    // 60 Hz) lists 65,000 devices within a second of the last answer; every 20 ms took 1.3 s.
    static constexpr int kHandOverSliceMs = 8;
    static constexpr int kHandOverIntervalMs = 16;

    // receiveBufferBytes: what Create() asks the kernel for, per socket; a stock host grants at
    // most twice net.core.rmem_max (212,992), unless the process may force more.
    explicit CTalbrixReceveSocket(QHostAddress address = QHostAddress(QHostAddress::AnyIPv4), quint16 port = REPLY_PORT,
                                  int receiveBufferBytes = kReceiveBufferBytes, int sockets = kSockets,
                                  QObject *parent = nullptr);
    ~CTalbrixReceveSocket() override;

    // Binds exclusively (a second program on the port makes this fail), enlarges the receive
    // buffer and starts receiving. False when the socket cannot be had.
    bool Create();
    // Stops receiving; datagrams not yet read are dropped.
    void Close();
    bool IsOpen() const;

    // Reads the next waiting datagram: copies at most bufferSize bytes of it and returns its
    // whole length (0 for an empty datagram, more than bufferSize for an oversized one), or
    // -1 on a read error or when none waits.
    qint64 ReceiveFrom(char *buffer, qint64 bufferSize, QString *senderAddress = nullptr,
                       quint16 *senderPort = nullptr);

    int ReceiveBufferSize() const; // of each socket
    quint16 LocalPort() const;

    // Answers the kernel dropped for want of room since Create(); -1 where it cannot tell.
    qint64 Overflows() const { return m_group.Overflows(); }
    const SocketGroup &Group() const { return m_group; }
    // When the last datagram arrived (monotonic clock, ns), 0 before the first.
    qint64 LastArrivalNs() const;

Q_SIGNALS:
    void receivePacket();

private:
    void ScheduleHandOver();
    void OnReceive();

    QHostAddress m_address;
    quint16 m_port;
    int m_receiveBufferBytes;
    int m_sockets;
    SocketGroup m_group;
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::deque<ReceivedDatagram> m_ready; // taken from the receiver, not yet read
    quint64 m_datagramsRead = 0;
    bool m_handingOver = false;
    QTimer m_handOverTimer;
    QElapsedTimer m_lastHandOver; // started at each hand-over
};
