#include "ZekSocket.h"

#include <algorithm>

namespace {
constexpr int kSliceMs = 25;
constexpr int kReceiveBufferBytes = 1024 * 1024; // a burst of answers from a large site
constexpr int kSearchSockets = 8;
// The bytes of a probe answer's MAC text ("00:1A:2B:3C:4D:5E") that choose its socket.
const std::vector<int> kMacShareBytes{96 + 9, 96 + 10, 96 + 12, 96 + 13, 96 + 15, 96 + 16};
// Larger than any message: a longer datagram arrives cut to this and fails the size check.
constexpr int kDatagramBufferBytes = 2048;

sockaddr_in socketAddress(quint32 address, quint16 port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = htonl(address);
    result.sin_port = htons(port);
    return result;
}

void setOption(NativeSocket s, int option, int value)
{
    ::setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value);
}
} // namespace

bool ParseIPv4(QByteArrayView text, quint32 &address)
{
    in_addr parsed{};
    const QByteArray terminated = text.toByteArray();
    if (::inet_pton(AF_INET, terminated.constData(), &parsed) != 1)
        return false;
    address = ntohl(parsed.s_addr);
    return true;
}

ZekSocket::~ZekSocket() = default;

bool ZekSocket::Open(quint32 address, quint16 port, bool shareAddress)
{
    SocketGroup::Options options;
    // Set after bind(); the kernel may grant less, which only shortens the burst it holds.
    options.receiveBufferBytes = kReceiveBufferBytes;
    if (shareAddress) {
        options.sockets = kSearchSockets;
        options.shareBytes = kMacShareBytes;
        options.exclusive = false;
        options.shareWithOthers = true;
    }
    if (!m_group.Open(address, port, options))
        return false;
    for (const NativeSocket s : m_group.Sockets())
        setOption(s, SO_BROADCAST, 1);
    return true;
}

bool ZekSocket::SendTo(QByteArrayView data, quint32 address, quint16 port)
{
    if (!m_group.IsOpen())
        return false;
    const sockaddr_in destination = socketAddress(address, port);
    return ::sendto(m_group.Sockets().front(), data.data(), static_cast<int>(data.size()), 0,
                    reinterpret_cast<const sockaddr *>(&destination), sizeof destination)
           == data.size();
}

ZekWaitEnd ZekSocket::ReceiveUntil(const QDeadlineTimer &deadline, const ZekStop &stop,
                                   const std::function<bool(const ZekDatagram &)> &accept,
                                   const std::function<void()> &whenQuiet, int quietMs)
{
    if (!m_group.IsOpen())
        return ZekWaitEnd::Failed;
    const std::vector<NativeSocket> &sockets = m_group.Sockets();
    std::vector<bool> readable;
    QDeadlineTimer quiet(quietMs, Qt::PreciseTimer);
    char buffer[kDatagramBufferBytes];
    for (;;) {
        if (stop.Requested())
            return ZekWaitEnd::Stopped;
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0)
            return ZekWaitEnd::TimedOut;
        if (whenQuiet && quiet.hasExpired()) {
            whenQuiet();
            quiet.setRemainingTime(quietMs, Qt::PreciseTimer);
        }
        const int slice = remaining < 0 ? kSliceMs : static_cast<int>(std::min<qint64>(remaining, kSliceMs));
        const int ready = WaitUntilReadable(sockets, slice, readable);
        if (ready < 0 && !Interrupted(LastSocketError()))
            return ZekWaitEnd::Failed;
        if (ready <= 0)
            continue;
        for (std::size_t k = 0; k < sockets.size(); ++k) {
            if (!readable[k])
                continue;
            // Every waiting datagram of this socket, so that a burst is read as fast as it comes.
            for (;;) {
                sockaddr_in from{};
                socklen_t fromSize = sizeof from;
                const auto size = ::recvfrom(sockets[k], buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from),
                                             &fromSize);
                // A failed read (on Windows also an oversized datagram) loses that datagram only.
                if (size < 0)
                    break;
                quiet.setRemainingTime(quietMs, Qt::PreciseTimer);
                const ZekDatagram datagram{QByteArray(buffer, static_cast<qsizetype>(size)),
                                           ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
                if (accept(datagram))
                    return ZekWaitEnd::Accepted;
                if (stop.Requested())
                    return ZekWaitEnd::Stopped;
            }
        }
    }
}
