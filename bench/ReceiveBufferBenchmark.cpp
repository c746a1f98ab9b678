// How much of a burst of answers the reply socket's receive buffer holds while nobody reads it,
// with the buffer this system grants: corvane-devsim in device namespace 1 answers one search
// with N devices at once, and the socket, bound and enlarged as CTalbrixReceveSocket does it, is
// read only once the burst is over. Built for Linux and for Windows, to run under Wine:
//   tests/netns-run.sh build/release/bench/corvane-bench-receive-buffer [devices] [bytes]
//   tests/netns-run.sh tests/wine/run-test.sh build/windows/bin/corvane-bench-receive-buffer.exe [devices] [bytes]
// Prints the size asked for, the size the system reports, and the answers read of N.

#include "CTalbrixReceveSocket.h"
#include "CTalbrixSendSocket.h"
#include "CameraInfo.h"
#include "NativeSocket.h"
#include "TestNetwork.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int devices = arguments.size() > 1 ? arguments[1].toInt() : 3000;
    const int bytes = arguments.size() > 2 ? arguments[2].toInt() : CTalbrixReceveSocket::kReceiveBufferBytes;
    if (!TestNetwork::InPrivateNamespace()) {
        std::fprintf(stderr, "run inside tests/netns-run.sh: this broadcasts\n");
        return 2;
    }
    DevSim simulator;
    if (!simulator.Start({QStringLiteral("--generate"), QString::number(devices)})) {
        std::fprintf(stderr, "corvane-devsim did not start\n");
        return 1;
    }

    StartSockets();
    const NativeSocket s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ClaimPortExclusively(s);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(REPLY_PORT);
    if (s == kInvalidSocket || ::bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "no socket on port %d\n", REPLY_PORT);
        return 1;
    }
    EnlargeReceiveBuffer(s, bytes, true);
    int reported = 0;
    socklen_t size = sizeof reported;
    ::getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&reported), &size);

    CTalbrixSendSocket().SendPacket(TestNetwork::kHostAddress1, -1, MakeSearchRequest());
    if (simulator.WaitForOutput("sent ").isEmpty()) {
        std::fprintf(stderr, "no burst\n");
        return 1;
    }
    QThread::msleep(500); // the last answers are still on their way through the virtual cable

    SetNonBlocking(s);
    std::vector<char> buffer(65536);
    int read = 0;
    while (::recv(s, buffer.data(), static_cast<SocketBufferSize>(buffer.size()), 0) >= 0)
        ++read;
    CloseNativeSocket(s);
    StopSockets();
    std::printf("\nasked %d bytes, reported %d bytes, read %d of %d answers\n", bytes, reported, read, devices);
    return 0;
}
