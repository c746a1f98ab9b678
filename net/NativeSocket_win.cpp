#include "NativeSocket.h"

#include <type_traits>

static_assert(std::is_same_v<NativeSocket, SOCKET> && kInvalidSocket == INVALID_SOCKET);

namespace {
void setIntOption(NativeSocket s, int option, int value)
{
    ::setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value);
}
} // namespace

int LastSocketError()
{
    return WSAGetLastError();
}

bool WouldBlock(int error)
{
    return error == WSAEWOULDBLOCK;
}

bool Interrupted(int error)
{
    return error == WSAEINTR;
}

void StartSockets()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

void StopSockets()
{
    WSACleanup();
}

int CloseNativeSocket(NativeSocket s)
{
    return ::closesocket(s);
}

bool SetNonBlocking(NativeSocket s)
{
    u_long on = 1;
    return ::ioctlsocket(s, static_cast<long>(FIONBIO), &on) == 0;
}

int WaitUntilReadable(NativeSocket s, int timeoutMs)
{
    WSAPOLLFD entry{};
    entry.fd = s;
    entry.events = POLLIN;
    return ::WSAPoll(&entry, 1, timeoutMs);
}

void ClaimPortExclusively(NativeSocket s)
{
    setIntOption(s, SO_EXCLUSIVEADDRUSE, 1);
}

void EnlargeReceiveBuffer(NativeSocket s, int bytes)
{
    setIntOption(s, SO_RCVBUF, bytes);
}
