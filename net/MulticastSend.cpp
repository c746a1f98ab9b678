#include "MulticastSend.h"

#include "NativeSocket.h"

bool SetMulticastSending(NativeSocket s, quint32 interfaceAddress, int ttl)
{
    in_addr local{};
    local.s_addr = htonl(interfaceAddress);
    // Windows takes an int (DWORD) for the TTL as Linux does; both take an in_addr for the interface.
    const int hops = ttl;
    return ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char *>(&local), sizeof local) == 0
           && ::setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char *>(&hops), sizeof hops) == 0;
}

bool SendDatagram(NativeSocket s, QByteArrayView datagram, quint32 address, quint16 port)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = htonl(address);
    destination.sin_port = htons(port);
    const auto sent = ::sendto(s, datagram.data(), static_cast<SocketBufferSize>(datagram.size()), 0,
                               reinterpret_cast<const sockaddr *>(&destination), sizeof destination);
    return sent >= 0 && static_cast<qsizetype>(sent) == datagram.size();
}
