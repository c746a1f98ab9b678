#pragma once

// The few BSD socket calls the broadcast sender needs, on Windows and on POSIX systems.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

using NativeSocket = SOCKET;
inline constexpr NativeSocket kInvalidSocket = INVALID_SOCKET;
inline int LastSocketError() { return WSAGetLastError(); }
inline int CloseNativeSocket(NativeSocket s) { return closesocket(s); }
inline void StartSockets() { WSADATA data; WSAStartup(MAKEWORD(2, 2), &data); }
inline void StopSockets() { WSACleanup(); }
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using NativeSocket = int;
inline constexpr NativeSocket kInvalidSocket = -1;
inline int LastSocketError() { return errno; }
inline int CloseNativeSocket(NativeSocket s) { return ::close(s); }
inline void StartSockets() {}
inline void StopSockets() {}
#endif
