#pragma once

// The few BSD socket calls the broadcast sender, the receive socket and the vendor library need,
// the same on Windows and on POSIX systems. NativeSocket and kInvalidSocket (NativeSocketTypes.h),
// the platform's socket headers and SocketBufferSize (SocketHeaders.h) come from posix/ or win/,
// whichever CMake puts on the include path; NativeSocket_posix.cpp or NativeSocket_win.cpp does
// the rest. Headers that only carry a socket include NativeSocketTypes.h alone.
#include "NativeSocketTypes.h"
#include "SocketHeaders.h"

int LastSocketError();
bool WouldBlock(int error);
bool Interrupted(int error);

// Windows wants its socket layer started before the first socket and stopped after the last;
// elsewhere these do nothing.
void StartSockets();
void StopSockets();

int CloseNativeSocket(NativeSocket s);
bool SetNonBlocking(NativeSocket s);

// Waits until a datagram waits: above 0 when one does, 0 after timeoutMs, below 0 on an error.
int WaitUntilReadable(NativeSocket s, int timeoutMs);

// Before bind(): a second program can then bind the port neither before nor after us. POSIX
// systems refuse it already unless both ask to share; Windows lets a later SO_REUSEADDR take it.
void ClaimPortExclusively(NativeSocket s);

// Asks for a receive buffer of bytes, after bind(). Linux caps it at twice net.core.rmem_max
// unless the process may force more; Windows grants it to anyone.
void EnlargeReceiveBuffer(NativeSocket s, int bytes);
