#pragma once

#include "NativeSocketTypes.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <vector>

// Several UDP sockets on one port, each with its own receive buffer, so that a burst of answers
// larger than the one buffer a stock host grants can wait in the kernel until it is read.
//
// Devices answer with broadcasts, and Linux copies a broadcast to every socket on the port
// (SO_REUSEPORT spreads unicast datagrams only). So each socket carries a filter that keeps the
// copies of one share of the answers, chosen from a few bytes of the answer (its MAC text), and
// unicast datagrams are steered to the socket of that same share: every datagram is kept once,
// and all the answers of one device reach the same socket, in order. One more socket keeps
// nothing: its drops count the broadcasts that arrived, which tells the copies the filters
// turned away from what the buffers could not hold.
//
// Elsewhere than on Linux the group is one plain socket.
class SocketGroup final
{
public:
    struct Options
    {
        int sockets = 1;                 // that keep answers; 1: a plain socket, no filters
        int receiveBufferBytes = 0;      // asked for each socket; 0 keeps the host's default
        std::vector<int> shareBytes;     // offsets in the payload of the bytes that choose a share
        bool exclusive = true;           // no other program, nor another group of ours, may take the port
        bool shareWithOthers = false;    // not exclusive: other programs listen too and get copies
        bool forceReceiveBuffer = false; // a privileged process goes past the host's cap
        // Answers come as unicast only (WS-Discovery's ProbeMatches): no filters and no counting
        // socket, the kernel spreads the datagrams over the sockets by their sender. Port 0 takes a
        // free port for the whole group (Port() tells which); shareBytes are not used.
        bool unicastBySender = false;
    };

    SocketGroup() = default;
    ~SocketGroup();
    SocketGroup(const SocketGroup &) = delete;
    SocketGroup &operator=(const SocketGroup &) = delete;

    // Binds every socket to address:port (host order), non-blocking. False, and nothing open,
    // when the port cannot be had.
    bool Open(quint32 address, quint16 port, const Options &options);
    void Close();
    bool IsOpen() const { return !m_sockets.empty(); }

    // The sockets that keep answers, in share order.
    const std::vector<NativeSocket> &Sockets() const { return m_sockets; }
    int ReceiveBufferSize() const; // granted to each socket, bytes
    quint16 Port() const;          // the port the group is bound to (host order), 0 when closed

    // Answers the kernel dropped because a buffer was full, since Open(); -1 where it cannot tell.
    qint64 Overflows() const;
    // What the kernel counts as dropped on each socket (the filtered copies included), and on
    // the counting socket last; empty where it cannot tell.
    std::vector<qint64> KernelDrops() const;
    // The share a payload falls in, as the filters choose it (for tests and benchmarks).
    int ShareOf(QByteArrayView payload) const;
    // The share arithmetic, the same in the filters and in ShareOf().
    static constexpr quint32 kMultipliers[] = {1, 3, 7, 13, 31, 61, 127, 251};
    static constexpr quint32 kMixShift = 3;

private:
    enum class GroupResult { Opened, Taken, Unsupported };
    // The group proper and the guard of the port: SocketGroup_posix.cpp (Linux) does them;
    // SocketGroup_win.cpp has none.
    GroupResult OpenGroup(quint32 address, quint16 port, const Options &options);
    GroupResult OpenUnicastGroup(quint32 address, quint16 port, const Options &options);
    void CloseGuard();

    static bool BindTo(NativeSocket s, quint32 address, quint16 port); // and non-blocking
    static void CloseAll(std::vector<NativeSocket> &sockets);

    std::vector<NativeSocket> m_sockets;
    NativeSocket m_counter = kInvalidSocket; // keeps nothing; counts the broadcasts
    int m_guard = -1;                        // holds the port against other groups of ours
    std::vector<int> m_shareBytes;
};

// Datagrams the kernel dropped on one socket (Linux, any user: SO_MEMINFO); -1 where unknown
// (Windows).
qint64 SocketDrops(NativeSocket socket);
