#pragma once

#include <cstdint>

// A socket as Windows names it (SOCKET, INVALID_SOCKET), without <winsock2.h>: that pulls in
// <windows.h>, whose macros (WM_LBUTTONDOWN, min, max...) would reach every header that carries a
// socket. NativeSocket_win.cpp checks that the two agree.
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket kInvalidSocket = ~NativeSocket{0};
