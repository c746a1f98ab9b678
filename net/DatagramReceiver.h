#pragma once

#include "NativeSocketTypes.h"

#include <QByteArray>
#include <QMutex>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
class QThread;

// The machine's monotonic clock, ns: the arrival times below are on it.
qint64 MonotonicClockNs();

// One datagram as it arrived, or a failed read in its place.
struct ReceivedDatagram
{
    QByteArray data;     // at most the receiver's kept bytes of it
    qint64 size = 0;     // its whole length
    quint32 address = 0; // the sender's IPv4 address, host order
    quint16 port = 0;
    bool failed = false;
};

// Reads bound, non-blocking datagram sockets on a thread of its own as soon as datagrams
// arrive, and keeps them in the order each socket received them until the owner takes them. The
// kernel drops what a receive buffer cannot hold, silently: on a stock host that buffer holds
// about 330 replies, so it must be emptied as fast as replies come, not whenever the
// user-interface thread is free.
class DatagramReceiver final
{
public:
    // What waits here at most; beyond it reading pauses until the owner takes, and the
    // kernel's buffer fills instead. Bounds memory when the owner stops taking.
    static constexpr qsizetype kMaxWaitingBytes = 32 * 1024 * 1024;
    // What is kept of a datagram: more than any answer; a longer one is cut, its size kept.
    static constexpr qsizetype kKeptBytes = 2048;

    // arrived() runs on the receive thread whenever datagrams wait that the owner has not been
    // told of since its last Take(). The sockets stay the caller's; they must outlive this.
    // keptBytes: what is kept of each datagram (at least 1), for answers longer than kKeptBytes.
    DatagramReceiver(std::vector<NativeSocket> sockets, std::function<void()> arrived,
                     qsizetype keptBytes = kKeptBytes);
    // Stops the thread and waits for it: within one batch of reads, never for the network.
    ~DatagramReceiver();
    DatagramReceiver(const DatagramReceiver &) = delete;
    DatagramReceiver &operator=(const DatagramReceiver &) = delete;

    // Appends every waiting datagram to into, oldest first.
    void Take(std::deque<ReceivedDatagram> &into);
    // When the last datagram was read, on the monotonic clock (ns); 0 before the first.
    qint64 LastArrivalNs() const { return m_lastArrivalNs.load(); }

private:
    void Run();
    void ReadWaiting(NativeSocket socket);

    std::vector<NativeSocket> m_sockets;
    std::function<void()> m_arrived;
    std::size_t m_keptBytes;
    std::vector<char> m_buffers; // receive thread only: one slot of kKeptBytes per batch entry
    std::unique_ptr<QThread> m_thread;
    std::atomic<qint64> m_lastArrivalNs{0};

    QMutex m_mutex; // guards everything below
    std::deque<ReceivedDatagram> m_waiting;
    qsizetype m_waitingBytes = 0;
    bool m_ownerTold = false;
    bool m_paused = false;
    std::vector<QSocketNotifier *> m_notifiers; // live on the receive thread, while it runs
};
