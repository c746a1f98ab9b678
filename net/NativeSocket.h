#pragma once

// The few BSD socket calls the broadcast sender and the receive socket need, on Windows and on
// POSIX systems.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

using NativeSocket = SOCKET;
inline constexpr NativeSocket kInvalidSocket = INVALID_SOCKET;
inline int LastSocketError()
{
    return WSAGetLastError();
}
inline int CloseNativeSocket(NativeSocket s)
{
    return closesocket(s);
}
inline void StartSockets()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}
inline void StopSockets()
{
    WSACleanup();
}
inline bool SetNonBlocking(NativeSocket s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
inline bool WouldBlock(int error)
{
    return error == WSAEWOULDBLOCK;
}
inline bool Interrupted(int error)
{
    return error == WSAEINTR;
}
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using NativeSocket = int;
inline constexpr NativeSocket kInvalidSocket = -1;
inline int LastSocketError()
{
    return errno;
}
inline int CloseNativeSocket(NativeSocket s)
{
    return ::close(s);
}
inline void StartSockets() {}
inline void StopSockets() {}
inline bool SetNonBlocking(NativeSocket s)
{
    const int flags = ::fcntl(s, F_GETFL, 0);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
inline bool WouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}
inline bool Interrupted(int error)
{
    return error == EINTR;
}
#endif
