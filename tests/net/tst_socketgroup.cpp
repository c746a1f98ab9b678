#include "CTalbrixReceveSocket.h"
#include "CTalbrixSendSocket.h"
#include "CaptureStdout.h"
#include "NativeSocket.h"
#include "RecordText.h"
#include "SocketGroup.h"
#include "TestNetwork.h"

#include <QSet>
#include <QTest>
#include <QThread>

#include <numeric>

using namespace TestNetwork;

// The group of reply sockets against real broadcasts from corvane-devsim: what it keeps, what the
// kernel's counts say it lost, and who else may have the port.
namespace {
constexpr int kStockBuffer = 212992; // a stock host's net.core.rmem_max
const std::vector<int> kMacBytes{81, 82, 84, 85, 87, 88};

void sendSearch()
{
    CaptureStdout([] { CTalbrixSendSocket().SendPacket(kHostAddress1, -1, MakeSearchRequest()); });
}

// Reads every socket of the group until all stay empty for a while: the MACs, and how many
// datagrams each socket held.
struct Drained
{
    QList<QByteArray> macs;
    std::vector<int> perSocket;
    int misplaced = 0; // on another socket than ShareOf() says
};

Drained drain(const SocketGroup &group, int quietMs = 300)
{
    Drained result;
    result.perSocket.assign(group.Sockets().size(), 0);
    QElapsedTimer quiet;
    quiet.start();
    char buffer[2048];
    while (quiet.elapsed() < quietMs) {
        bool any = false;
        for (std::size_t k = 0; k < group.Sockets().size(); ++k) {
            const auto size = ::recv(group.Sockets()[k], buffer, sizeof buffer, 0);
            if (size <= 0)
                continue;
            any = true;
            ++result.perSocket[k];
            const QByteArrayView payload(buffer, size);
            if (group.ShareOf(payload) != static_cast<int>(k))
                ++result.misplaced;
            result.macs.append(ReadText(FromDatagram(payload).mac_addr));
        }
        if (any)
            quiet.restart();
        else
            QThread::msleep(5);
    }
    return result;
}

bool bindReusePort(NativeSocket s)
{
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(REPLY_PORT);
    return ::bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0;
}
} // namespace

class TestSocketGroup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void holdsMoreThanOneBufferAndCountsWhatItCouldNot()
    {
        // Nobody reads while the burst arrives. One stock buffer holds about 330 answers; eight
        // hold 1,500, each answer once. Then 4,000 overflow them, and the kernel's counts say by
        // exactly how many.
        SocketGroup group;
        QVERIFY(group.Open(0, REPLY_PORT, {8, kStockBuffer, kMacBytes, true, false}));
        QCOMPARE(group.Sockets().size(), std::size_t(8));
        QVERIFY(group.ReceiveBufferSize() <= 2 * kStockBuffer);

        DevSim small;
        // Each from its own address, outside the test network's subnets.
        QVERIFY(small.Start({QStringLiteral("--generate"), QStringLiteral("1500"), QStringLiteral("--own-addresses"),
                             QStringLiteral("--first-ip"), QStringLiteral("10.78.0.1"), QStringLiteral("--shuffle")}));
        sendSearch();
        QVERIFY(!small.WaitForOutput("sent ").isEmpty());
        const Drained first = drain(group);
        QCOMPARE(first.macs.size(), 1500);
        QCOMPARE(QSet<QByteArray>(first.macs.begin(), first.macs.end()).size(), 1500);
        QCOMPARE(group.Overflows(), qint64(0));
        QCOMPARE(first.misplaced, 0);
        for (const int held : first.perSocket)
            QVERIFY2(held > 1500 / 8 / 2, "the shares are far from even");
        small.Stop();

        DevSim large;
        QVERIFY(large.Start({QStringLiteral("--generate"), QStringLiteral("4000")}));
        sendSearch();
        QVERIFY(!large.WaitForOutput("sent ").isEmpty());
        const Drained second = drain(group);
        QVERIFY(second.macs.size() < 4000);
        QCOMPARE(group.Overflows(), qint64(4000 - second.macs.size()));
    }

    void aPlainSocketCountsItsDropsToo()
    {
        SocketGroup group;
        QVERIFY(group.Open(0, REPLY_PORT, {1, kStockBuffer, {}, true, false}));
        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--generate"), QStringLiteral("1500")}));
        sendSearch();
        QVERIFY(!device.WaitForOutput("sent ").isEmpty());
        const Drained drained = drain(group);
        QVERIFY(drained.macs.size() < 1500);
        QCOMPARE(group.Overflows(), qint64(1500 - drained.macs.size()));
        QCOMPARE(SocketDrops(group.Sockets().front()), group.Overflows());
    }

    void strayDatagramsAreKeptOnce()
    {
        // Too short to carry a MAC: kept by the first socket alone, not lost and not doubled.
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        QList<qint64> sizes;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[372];
            sizes << socket.ReceiveFrom(buffer, sizeof buffer);
        });
        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--device"), QStringLiteral("mac=02:00:00:00:00:01,ip=10.77.1.30"),
                              QStringLiteral("--malformed"), QStringLiteral("short,empty")}));
        sendSearch();
        QTRY_COMPARE(sizes.size(), 3);
        QTest::qWait(200);
        std::sort(sizes.begin(), sizes.end());
        QCOMPARE(sizes, QList<qint64>({0, 100, 372}));
    }

    void secondInstanceCannotTakeThePort()
    {
        CTalbrixReceveSocket first;
        QVERIFY(first.Create());
        QCOMPARE(first.Group().Sockets().size(), std::size_t(CTalbrixReceveSocket::kSockets));
        CTalbrixReceveSocket second;
        QVERIFY(!second.Create());
        QVERIFY(!second.IsOpen());

        // Another program without SO_REUSEPORT, as before.
        DevSim holder(0);
        QVERIFY(!holder.Start({QStringLiteral("--device-port"), QString::number(REPLY_PORT)}));

        first.Close();
        QVERIFY(second.Create());
    }

    void anIntruderOnThePortGetsNoneOfOurUnicast()
    {
        // A program of the same user that sets SO_REUSEPORT joins the port; broadcasts it gets
        // as copies, but the unicast answers are all steered to our sockets.
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        int received = 0;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[372];
            if (socket.ReceiveFrom(buffer, sizeof buffer) == CAMERA_INFO_WIRE_SIZE)
                ++received;
        });
        const NativeSocket intruder = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        QVERIFY(bindReusePort(intruder));
        SetNonBlocking(intruder);

        const NativeSocket sender = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(REPLY_PORT);
        constexpr int kAnswers = 200;
        for (int i = 0; i < kAnswers; ++i) {
            CameraInfo record{};
            record.header.cmd = CMD_SEARCH_REPLY;
            WriteText(record.mac_addr, QByteArray("02:00:00:00:") + QByteArray::number(0x100 + i, 16).right(2) + ":"
                                           + QByteArray::number(0x100 + i * 7, 16).right(2));
            const QByteArray datagram = ToDatagram(record);
            // From ports of their own: the kernel's hash alone would spread them over every socket.
            const NativeSocket from = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
            ::sendto(from, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                     reinterpret_cast<const sockaddr *>(&to), sizeof to);
            CloseNativeSocket(from);
        }
        CloseNativeSocket(sender);
        QTRY_COMPARE(received, kAnswers);
        char buffer[372];
        QCOMPARE(::recv(intruder, buffer, sizeof buffer, 0), ssize_t(-1));
        CloseNativeSocket(intruder);
    }
};

QTEST_GUILESS_MAIN(TestSocketGroup)
#include "tst_socketgroup.moc"
