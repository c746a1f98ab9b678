#include "CTalbrixSendSocket.h"

#include "NativeSocket.h"

#include <cstdio>

namespace {
void traceSocketError()
{
    const int code = LastSocketError();
    std::printf("Socket Error: %x(%d)\n", static_cast<unsigned>(code), code);
}

void closeTraced(NativeSocket s)
{
    if (s != kInvalidSocket && CloseNativeSocket(s) != 0)
        traceSocketError();
}
} // namespace

int CTalbrixSendSocket::SendPacket(const QString &adapterAddress, int interfaceIndex, CameraInfo packet)
{
    Q_UNUSED(interfaceIndex)
    StartSockets();

    std::printf("trying: socket...\n");
    const NativeSocket s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == kInvalidSocket)
        traceSocketError();

    // A failed bind (an adapter without IPv4 address) is not noticed: the system then
    // picks the source address and port.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(adapterAddress.toLatin1().constData());
    local.sin_port = htons(m_devicePort);
    (void)::bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local);

    std::printf("trying: setsockopt...\n");
    const int enable = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&enable), sizeof enable) != 0) {
        traceSocketError();
        closeTraced(s);
    } else {
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        destination.sin_port = htons(m_devicePort);

        std::printf("trying: sendto...\n");
        const QByteArray datagram = ToDatagram(packet);
        if (::sendto(s, datagram.constData(), static_cast<SocketBufferSize>(datagram.size()), 0,
                     reinterpret_cast<const sockaddr *>(&destination), sizeof destination)
            < 0) {
            traceSocketError();
            closeTraced(s);
        } else {
            std::printf("trying: closesocket...\n");
            closeTraced(s);
        }
    }

    StopSockets();
    std::printf("END");
    std::fflush(stdout);
    return 0;
}
