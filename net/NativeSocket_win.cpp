#include "NativeSocket.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

static_assert(std::is_same_v<NativeSocket, SOCKET> && kInvalidSocket == INVALID_SOCKET);

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

bool SetSocketOption(NativeSocket s, int option, int value)
{
    return ::setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value) == 0;
}

int WaitUntilReadable(const std::vector<NativeSocket> &sockets, int timeoutMs, std::vector<bool> &readable)
{
    std::vector<WSAPOLLFD> entries(sockets.size());
    for (std::size_t i = 0; i < sockets.size(); ++i)
        entries[i] = {sockets[i], POLLIN, 0};
    const int ready = ::WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), timeoutMs);
    readable.assign(sockets.size(), false);
    for (std::size_t i = 0; ready > 0 && i < sockets.size(); ++i)
        readable[i] = (entries[i].revents & POLLIN) != 0;
    return ready;
}

// Not needed: the group is one socket here (SocketGroup_win.cpp), whose queue is already in
// order of arrival.
bool AskForReceiveTimes(NativeSocket)
{
    return false;
}

void AwaitReceiveTimes() {}

// One datagram a call: Windows has no recvmmsg. Read whole, so that its real length is known
// (Windows fails a read into a smaller buffer instead of telling the length).
int ReadDatagrams(NativeSocket s, char *buffers, std::size_t slotBytes, std::size_t count, DatagramSlot *slots)
{
    if (count == 0)
        return 0;
    thread_local std::vector<char> whole(65536); // larger than any IPv4 datagram
    sockaddr_in from{};
    int fromSize = sizeof from;
    const int size = ::recvfrom(s, whole.data(), static_cast<int>(whole.size()), 0, reinterpret_cast<sockaddr *>(&from),
                                &fromSize);
    if (size < 0)
        return -1;
    std::memcpy(buffers, whole.data(), std::min<std::size_t>(static_cast<std::size_t>(size), slotBytes));
    slots[0] = {size, ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
    return 1;
}

void ClaimPortExclusively(NativeSocket s)
{
    SetSocketOption(s, SO_EXCLUSIVEADDRUSE, 1);
}

void EnlargeReceiveBuffer(NativeSocket s, int bytes, bool)
{
    if (bytes > 0)
        SetSocketOption(s, SO_RCVBUF, bytes);
}
