#include "NativeSocket.h"

#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

int LastSocketError()
{
    return errno;
}

bool WouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

bool Interrupted(int error)
{
    return error == EINTR;
}

void StartSockets() {}

void StopSockets() {}

int CloseNativeSocket(NativeSocket s)
{
    return ::close(s);
}

bool SetNonBlocking(NativeSocket s)
{
    const int flags = ::fcntl(s, F_GETFL, 0);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool SetSocketOption(NativeSocket s, int option, int value)
{
    return ::setsockopt(s, SOL_SOCKET, option, &value, sizeof value) == 0;
}

int WaitUntilReadable(const std::vector<NativeSocket> &sockets, int timeoutMs, std::vector<bool> &readable)
{
    std::vector<pollfd> entries(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i)
        entries[i] = {sockets[i], POLLIN, 0};
    const int ready = ::poll(entries.data(), entries.size(), timeoutMs);
    readable.assign(sockets.size(), false);
    for (std::size_t i = 0; ready > 0 && i < sockets.size(); ++i)
        readable[i] = (entries[i].revents & POLLIN) != 0;
    return ready;
}

bool AskForReceiveTimes(NativeSocket s)
{
#ifdef SO_TIMESTAMPNS
    return SetSocketOption(s, SO_TIMESTAMPNS, 1);
#else
    Q_UNUSED(s)
    return false;
#endif
}

namespace {
// Room for the receive time, and for whatever else a socket option adds.
struct alignas(cmsghdr) ControlRoom
{
    char bytes[CMSG_SPACE(sizeof(timespec)) + 64];
};

qint64 realTimeNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 receiveTime(msghdr &message)
{
#ifdef SO_TIMESTAMPNS
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            return static_cast<qint64>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
        }
    }
#else
    Q_UNUSED(message)
#endif
    return 0;
}
} // namespace

void AwaitReceiveTimes()
{
#ifdef SO_TIMESTAMPNS
    // A datagram to ourselves over loopback: stamped before we read it once the stamps are on.
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (s < 0)
        return;
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof self;
    if (AskForReceiveTimes(s) && ::bind(s, reinterpret_cast<const sockaddr *>(&self), sizeof self) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&self), &size) == 0) {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (::sendto(s, "", 0, 0, reinterpret_cast<const sockaddr *>(&self), sizeof self) != 0)
                break; // no loopback: nothing to wait with
            pollfd entry{s, POLLIN, 0};
            if (::poll(&entry, 1, 100) != 1)
                break;
            const qint64 before = realTimeNs();
            char byte = 0;
            iovec part{&byte, 1};
            ControlRoom control;
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control.bytes;
            message.msg_controllen = sizeof control.bytes;
            if (::recvmsg(s, &message, 0) < 0)
                break;
            const qint64 stamp = receiveTime(message);
            if (stamp == 0 || stamp < before)
                break;
            ::usleep(1000);
        }
    }
    ::close(s);
#endif
}

int ReadDatagrams(NativeSocket s, char *buffers, std::size_t slotBytes, std::size_t count, DatagramSlot *slots)
{
    // Kept between calls: a burst makes thousands of them.
    thread_local std::vector<mmsghdr> messages;
    thread_local std::vector<iovec> parts;
    thread_local std::vector<sockaddr_in> from;
    thread_local std::vector<ControlRoom> control;
    messages.assign(count, mmsghdr{});
    parts.resize(count);
    from.resize(count);
    control.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        parts[i] = {buffers + i * slotBytes, slotBytes};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &from[i];
        messages[i].msg_hdr.msg_namelen = sizeof from[i];
        messages[i].msg_hdr.msg_control = control[i].bytes;
        messages[i].msg_hdr.msg_controllen = sizeof control[i].bytes;
    }
    // MSG_TRUNC: a longer datagram's length is its whole length, not what was kept.
    const int read = ::recvmmsg(s, messages.data(), static_cast<unsigned>(count), MSG_TRUNC, nullptr);
    for (int i = 0; i < read; ++i)
        slots[i] = {static_cast<qint64>(messages[i].msg_len), ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port),
                    receiveTime(messages[i].msg_hdr)};
    return read;
}

void ClaimPortExclusively(NativeSocket) {}

void EnlargeReceiveBuffer(NativeSocket s, int bytes, bool force)
{
    if (bytes <= 0)
        return;
    SetSocketOption(s, SO_RCVBUF, bytes);
    if (!force)
        return;
    int granted = 0;
    socklen_t size = sizeof granted;
    ::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &size);
    if (granted < bytes)
        SetSocketOption(s, SO_RCVBUFFORCE, bytes);
    ::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &size);
    static std::atomic_flag told = ATOMIC_FLAG_INIT; // once per process, not once per socket
    if (granted < bytes && !told.test_and_set())
        qWarning("Receive buffer holds %d bytes, not %d: more answers of a large site wait for a repeat. To allow "
                 "more, as root: sysctl -w net.core.rmem_max=%d",
                 granted, bytes, bytes);
}
