#include "NativeSocket.h"

#include <QtGlobal>

#include <atomic>
#include <cerrno>
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

int ReadDatagrams(NativeSocket s, char *buffers, std::size_t slotBytes, std::size_t count, DatagramSlot *slots)
{
    std::vector<mmsghdr> messages(count);
    std::vector<iovec> parts(count);
    std::vector<sockaddr_in> from(count);
    for (std::size_t i = 0; i < count; ++i) {
        parts[i] = {buffers + i * slotBytes, slotBytes};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &from[i];
        messages[i].msg_hdr.msg_namelen = sizeof from[i];
    }
    // MSG_TRUNC: a longer datagram's length is its whole length, not what was kept.
    const int read = ::recvmmsg(s, messages.data(), static_cast<unsigned>(count), MSG_TRUNC, nullptr);
    for (int i = 0; i < read; ++i)
        slots[i] = {static_cast<qint64>(messages[i].msg_len), ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port)};
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
