#pragma once

#include "NativeSocket.h"
#include "SocketGroup.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>

#include <atomic>
#include <functional>

// IPv4 addresses and ports are in host order throughout.
inline constexpr quint32 kAnyAddress = 0;
inline constexpr quint32 kBroadcastAddress = 0xffffffffu;

// Parses a strict dotted quad ("10.0.0.1"); false for anything else.
bool ParseIPv4(QByteArrayView text, quint32 &address);

struct ZekDatagram
{
    QByteArray data;
    quint32 fromAddress = 0;
    quint16 fromPort = 0;
};

// What ends a wait early: ZEKSDKInvalidate moves the library's epoch on.
struct ZekStop
{
    const std::atomic<quint64> *epoch = nullptr;
    quint64 startedIn = 0;

    bool Requested() const { return epoch->load() != startedIn; }
};

enum class ZekWaitEnd { Accepted, TimedOut, Stopped, Failed };

// One UDP socket, closed with its owner, or for a search's answers a group of them (SocketGroup).
// The library's threads wait on it without an event loop.
class ZekSocket final
{
public:
    ZekSocket() = default;
    ~ZekSocket();
    ZekSocket(const ZekSocket &) = delete;
    ZekSocket &operator=(const ZekSocket &) = delete;

    // shareAddress lets every search of every program on the host listen on the client port at
    // once: the answers there are broadcasts, and the kernel gives each such socket a copy. Ours
    // is then a group of sockets, so that a large site's burst of answers fits.
    bool Open(quint32 address, quint16 port, bool shareAddress = false);
    bool SendTo(QByteArrayView data, quint32 address, quint16 port);

    // Reads datagrams until accept() takes one, the deadline passes, or stop is requested.
    // Waits in short slices, so a stop is seen within about 25 ms (plus what accept() takes).
    // whenQuiet runs each time nothing has arrived for quietMs.
    ZekWaitEnd ReceiveUntil(const QDeadlineTimer &deadline, const ZekStop &stop,
                            const std::function<bool(const ZekDatagram &)> &accept,
                            const std::function<void()> &whenQuiet = {}, int quietMs = 0);

    // Answers the kernel dropped for want of room since Open(); -1 where it cannot tell.
    qint64 Overflows() const { return m_group.Overflows(); }

private:
    SocketGroup m_group;
};
