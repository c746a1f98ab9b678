#include "ZekSocket.h"

#include <algorithm>

#ifdef _WIN32
inline int PollSockets(WSAPOLLFD *fds, ULONG count, int timeoutMs)
{
    return WSAPoll(fds, count, timeoutMs);
}
using PollEntry = WSAPOLLFD;
#else
#include <poll.h>
inline int PollSockets(pollfd *fds, nfds_t count, int timeoutMs)
{
    return ::poll(fds, count, timeoutMs);
}
using PollEntry = pollfd;
#endif

namespace {
constexpr int kSliceMs = 25;
constexpr int kReceiveBufferBytes = 1024 * 1024; // a burst of answers from a large site
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

ZekSocket::~ZekSocket()
{
    if (m_socket != kInvalidSocket)
        CloseNativeSocket(m_socket);
}

bool ZekSocket::Open(quint32 address, quint16 port, bool shareAddress)
{
    m_socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (m_socket == kInvalidSocket)
        return false;
    setOption(m_socket, SO_BROADCAST, 1);
    if (shareAddress)
        setOption(m_socket, SO_REUSEADDR, 1);
    const sockaddr_in local = socketAddress(address, port);
    if (::bind(m_socket, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0)
        return false;
    // Set after bind(); the kernel may grant less, which only shortens the burst it holds.
    setOption(m_socket, SO_RCVBUF, kReceiveBufferBytes);
    return true;
}

bool ZekSocket::SendTo(QByteArrayView data, quint32 address, quint16 port)
{
    const sockaddr_in destination = socketAddress(address, port);
    return ::sendto(m_socket, data.data(), static_cast<int>(data.size()), 0,
                    reinterpret_cast<const sockaddr *>(&destination), sizeof destination)
           == data.size();
}

ZekWaitEnd ZekSocket::ReceiveUntil(const QDeadlineTimer &deadline, const ZekStop &stop,
                                   const std::function<bool(const ZekDatagram &)> &accept)
{
    char buffer[kDatagramBufferBytes];
    for (;;) {
        if (stop.Requested())
            return ZekWaitEnd::Stopped;
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0)
            return ZekWaitEnd::TimedOut;
        PollEntry entry{};
        entry.fd = m_socket;
        entry.events = POLLIN;
        const int slice = remaining < 0 ? kSliceMs : static_cast<int>(std::min<qint64>(remaining, kSliceMs));
        const int ready = PollSockets(&entry, 1, slice);
        if (ready < 0 && LastSocketError() != EINTR)
            return ZekWaitEnd::Failed;
        if (ready <= 0)
            continue;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const auto size = ::recvfrom(m_socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from),
                                     &fromSize);
        // A failed read (on Windows also an oversized datagram) loses that datagram only.
        if (size < 0)
            continue;
        const ZekDatagram datagram{QByteArray(buffer, static_cast<qsizetype>(size)), ntohl(from.sin_addr.s_addr),
                                   ntohs(from.sin_port)};
        if (accept(datagram))
            return ZekWaitEnd::Accepted;
    }
}
