#pragma once

#include "NativeSocketTypes.h"

#include <QByteArray>
#include <QMutex>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
class QThread;

// One datagram as it arrived, or a failed read in its place.
struct ReceivedDatagram
{
    QByteArray data;
    quint32 address = 0; // the sender's IPv4 address, host order
    quint16 port = 0;
    bool failed = false;
};

// Reads a bound, non-blocking datagram socket on a thread of its own as soon as datagrams
// arrive, and keeps them in arrival order until the owner takes them. The kernel drops what its
// receive buffer cannot hold, silently: on a stock host that buffer holds about 330 replies, so
// it must be emptied as fast as replies come, not whenever the user-interface thread is free.
class DatagramReceiver final
{
public:
    // What waits here at most; beyond it reading pauses until the owner takes, and the
    // kernel's buffer fills instead. Bounds memory when the owner stops taking.
    static constexpr qsizetype kMaxWaitingBytes = 32 * 1024 * 1024;

    // arrived() runs on the receive thread whenever datagrams wait that the owner has not been
    // told of since its last Take(). The socket stays the caller's; it must outlive this.
    DatagramReceiver(NativeSocket socket, std::function<void()> arrived);
    // Stops the thread and waits for it: within one batch of reads, never for the network.
    ~DatagramReceiver();
    DatagramReceiver(const DatagramReceiver &) = delete;
    DatagramReceiver &operator=(const DatagramReceiver &) = delete;

    // Appends every waiting datagram to into, oldest first.
    void Take(std::deque<ReceivedDatagram> &into);

private:
    void Run();
    void ReadWaiting(QSocketNotifier &notifier);

    NativeSocket m_socket;
    std::function<void()> m_arrived;
    std::vector<char> m_buffer; // receive thread only
    std::unique_ptr<QThread> m_thread;

    QMutex m_mutex; // guards everything below
    std::deque<ReceivedDatagram> m_waiting;
    qsizetype m_waitingBytes = 0;
    bool m_ownerTold = false;
    bool m_paused = false;
    QSocketNotifier *m_notifier = nullptr; // lives on the receive thread, while it runs
};
