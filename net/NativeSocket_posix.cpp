#include "NativeSocket.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
void setIntOption(NativeSocket s, int option, int value)
{
    ::setsockopt(s, SOL_SOCKET, option, &value, sizeof value);
}
} // namespace

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

int WaitUntilReadable(NativeSocket s, int timeoutMs)
{
    pollfd entry{};
    entry.fd = s;
    entry.events = POLLIN;
    return ::poll(&entry, 1, timeoutMs);
}

void ClaimPortExclusively(NativeSocket) {}

void EnlargeReceiveBuffer(NativeSocket s, int bytes)
{
    setIntOption(s, SO_RCVBUF, bytes);
#ifdef SO_RCVBUFFORCE
    // The kernel caps SO_RCVBUF at twice net.core.rmem_max; a privileged process may go past it.
    int granted = 0;
    socklen_t size = sizeof granted;
    if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &size) == 0 && granted < bytes)
        setIntOption(s, SO_RCVBUFFORCE, bytes);
#endif
}
