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

#include <QtGlobal>

#include <cstddef>
#include <vector>

int CloseNativeSocket(NativeSocket s);
bool SetNonBlocking(NativeSocket s);
// An int option at level SOL_SOCKET; false when refused.
bool SetSocketOption(NativeSocket s, int option, int value);

// Waits until a datagram waits on any of sockets: how many have one (readable[i] says which), 0
// after timeoutMs, below 0 on an error.
int WaitUntilReadable(const std::vector<NativeSocket> &sockets, int timeoutMs, std::vector<bool> &readable);

// One datagram read by ReadDatagrams.
struct DatagramSlot
{
    qint64 size = 0;     // its whole length, also when longer than its slot
    quint32 address = 0; // the sender's IPv4 address, host order
    quint16 port = 0;
    qint64 receivedNs = 0; // when the kernel received it, where the socket is stamped; else 0
};

// Has the kernel stamp every datagram with the time it received it (Linux: SO_TIMESTAMPNS, read
// by ReadDatagrams). False where the system or the socket cannot: datagrams then carry 0.
bool AskForReceiveTimes(NativeSocket s);
// Returns once the system stamps datagrams as they arrive (at most after a fraction of a second):
// Linux turns its stamps on for everyone a moment after the first socket asks, and a datagram
// that comes before then is stamped only when it is read, out of order with the others.
void AwaitReceiveTimes();

// Reads up to count waiting datagrams, datagram i into buffers + i * slotBytes (cut to slotBytes),
// several in one system call where the system has one (Linux: recvmmsg). How many were read, or
// below 0 with LastSocketError() telling why (WouldBlock when none waits).
int ReadDatagrams(NativeSocket s, char *buffers, std::size_t slotBytes, std::size_t count, DatagramSlot *slots);

// Before bind(): a second program can then bind the port neither before nor after us. POSIX
// systems refuse it already unless both ask to share; Windows lets a later SO_REUSEADDR take it.
void ClaimPortExclusively(NativeSocket s);

// Asks for a receive buffer of bytes, after bind() (set before, it is ignored). Linux caps it at
// twice net.core.rmem_max; with force, a privileged process goes past the cap. Windows grants it
// to anyone.
void EnlargeReceiveBuffer(NativeSocket s, int bytes, bool force);
