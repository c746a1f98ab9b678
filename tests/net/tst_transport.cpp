#include "CTalbrixReceveSocket.h"
#include "CTalbrixSendSocket.h"
#include "CaptureStdout.h"
#include "NativeSocket.h"
#include "RecordText.h"
#include "TestNetwork.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace TestNetwork;

namespace {
void sendSearch(const QString &adapterAddress)
{
    CaptureStdout([&] { CTalbrixSendSocket().SendPacket(adapterAddress, -1, MakeSearchRequest()); });
}

// Sends numbered 372-byte datagrams to the reply port on loopback from a thread of its own,
// count of them, pausing 1 ms after every perMs (0: no pauses), until stopped.
class LoopbackSender final
{
public:
    LoopbackSender(int count, int perMs)
        : m_thread([this, count, perMs] { Run(count, perMs); })
    {
    }
    ~LoopbackSender() { Stop(); }
    LoopbackSender(const LoopbackSender &) = delete;
    LoopbackSender &operator=(const LoopbackSender &) = delete;

    // Waits until all are sent.
    void Wait()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void Stop()
    {
        m_stop = true;
        Wait();
    }
    int Sent() const { return m_sent; }

private:
    void Run(int count, int perMs)
    {
        const NativeSocket s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(REPLY_PORT);
        char datagram[CAMERA_INFO_SIZE] = {};
        for (int i = 0; i < count && !m_stop; ++i) {
            std::memcpy(datagram, &i, sizeof i);
            if (::sendto(s, datagram, sizeof datagram, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) > 0)
                ++m_sent;
            if (perMs > 0 && (i + 1) % perMs == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        CloseNativeSocket(s);
    }

    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

// Reads every datagram the socket signals and keeps the number at its start, in order.
struct NumberReader
{
    QList<int> numbers;

    explicit NumberReader(CTalbrixReceveSocket &socket)
    {
        QObject::connect(&socket, &CTalbrixReceveSocket::receivePacket, &socket, [this, &socket] {
            char buffer[CAMERA_INFO_SIZE];
            if (socket.ReceiveFrom(buffer, sizeof buffer) == CAMERA_INFO_SIZE) {
                int number = 0;
                std::memcpy(&number, buffer, sizeof number);
                numbers.append(number);
            }
        });
    }

    bool inOrder() const { return std::is_sorted(numbers.begin(), numbers.end()); }
};
} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void searchRequestOnTheWire()
    {
        DevSim device;
        QVERIFY(device.Start({}));
        QByteArray trace = CaptureStdout(
            [] { CTalbrixSendSocket().SendPacket(kHostAddress1, -1, MakeSearchRequest()); });
        QCOMPARE(trace, QByteArray("trying: socket...\ntrying: setsockopt...\ntrying: sendto...\n"
                                   "trying: closesocket...\nEND"));
        QVERIFY(device.WaitForLog(1));
        const QJsonObject datagram = device.Log().first();
        QCOMPARE(datagram.value(QLatin1String("from")).toString(), kHostAddress1);
        QCOMPARE(datagram.value(QLatin1String("port")).toInt(), 40013);
        QCOMPARE(datagram.value(QLatin1String("size")).toInt(), 371);
        QCOMPARE(datagram.value(QLatin1String("hex")).toString().toLatin1(),
                 (QByteArray::fromHex("03000000") + QByteArray(367, '\0')).toHex());
    }

    void leavesThroughTheChosenAdapterOnly()
    {
        DevSim first(1);
        DevSim second(2);
        QVERIFY(first.Start({}));
        QVERIFY(second.Start({}));

        sendSearch(kHostAddress1);
        QVERIFY(first.WaitForLog(1));
        QThread::msleep(300);
        QCOMPARE(second.Log().size(), 0);

        sendSearch(kHostAddress2);
        QVERIFY(second.WaitForLog(1));
        QCOMPARE(second.Log().first().value(QLatin1String("from")).toString(), kHostAddress2);
        QThread::msleep(300);
        QCOMPARE(first.Log().size(), 1);
    }

    void adapterWithoutAddressStillSends()
    {
        // No usable bind address: the system picks the source (here by the default route).
        DevSim device;
        QVERIFY(device.Start({}));
        sendSearch(QString());
        QVERIFY(device.WaitForLog(1));
        QCOMPARE(device.Log().first().value(QLatin1String("size")).toInt(), 371);
        QCOMPARE(device.Log().first().value(QLatin1String("from")).toString(), kHostAddress1);
    }

    void burstOfRepliesAllReachTheHandler()
    {
        constexpr int kDevices = 1000;
        if (ReceiveBufferLimited(CTalbrixReceveSocket::kReceiveBufferBytes))
            QSKIP("an ordinary user's receive buffer loses this burst: "
                  "run as root, or sysctl -w net.core.rmem_max=4194304");
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        QVERIFY(socket.ReceiveBufferSize() >= CTalbrixReceveSocket::kReceiveBufferBytes);

        QSet<QByteArray> macs;
        int datagrams = 0;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[372];
            if (socket.ReceiveFrom(buffer, sizeof buffer) == CAMERA_INFO_SIZE) {
                ++datagrams;
                macs.insert(ReadText(FromDatagram(QByteArrayView(buffer, sizeof buffer)).mac_addr));
            }
        });

        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--generate"), QString::number(kDevices)}));
        sendSearch(kHostAddress1);
        // Let the whole burst wait in the socket: a single readyRead must still hand over
        // every datagram.
        QThread::msleep(1500);
        QTRY_COMPARE_WITH_TIMEOUT(datagrams, kDevices, 10000);
        QCOMPARE(macs.size(), kDevices);
    }

    void oddDatagramSizesAreReported()
    {
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        // By size: datagrams of different content may reach different sockets of the group,
        // whose order among each other is not kept.
        QMap<qint64, QByteArray> firstBytes;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[372];
            std::memset(buffer, 0, sizeof buffer);
            const qint64 size = socket.ReceiveFrom(buffer, sizeof buffer);
            firstBytes.insert(size, QByteArray(buffer, sizeof buffer));
        });
        QUdpSocket sender;
        sender.writeDatagram(QByteArray(), QHostAddress::LocalHost, REPLY_PORT);
        sender.writeDatagram(QByteArray(400, 'L'), QHostAddress::LocalHost, REPLY_PORT);
        sender.writeDatagram(QByteArray(65507, 'M'), QHostAddress::LocalHost, REPLY_PORT); // the largest there is
        QTRY_COMPARE(firstBytes.keys(), QList<qint64>({0, 400, 65507}));
        QCOMPARE(firstBytes.value(400), QByteArray(372, 'L'));
        QCOMPARE(firstBytes.value(65507), QByteArray(372, 'M'));
        QVERIFY(socket.IsOpen());
    }

    void ownerThatReadsNothingDoesNotSpin()
    {
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        int signals = 0;
        auto lazy = connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] { ++signals; });
        QUdpSocket sender;
        sender.writeDatagram(QByteArray(372, '\0'), QHostAddress::LocalHost, REPLY_PORT);
        QTRY_COMPARE(signals, 1);
        disconnect(lazy);
        char buffer[372];
        QCOMPARE(socket.ReceiveFrom(buffer, sizeof buffer), qint64(372));
    }

    void burstWhileTheOwnerIsBusyIsNotLost()
    {
        // A stock host's buffer holds about 330 replies. The owner's thread does nothing for
        // longer than 3,000 replies take to arrive: only reading on another thread keeps them.
        constexpr int kReplies = 3000;
        CTalbrixReceveSocket socket(QHostAddress(QHostAddress::AnyIPv4), REPLY_PORT, 212992);
        QVERIFY(socket.Create());
        QVERIFY(socket.ReceiveBufferSize() <= 2 * 212992);
        NumberReader reader(socket);
        LoopbackSender sender(kReplies, 10);
        QThread::msleep(600);
        sender.Wait();
        QCOMPARE(sender.Sent(), kReplies);
        QTRY_COMPARE_WITH_TIMEOUT(reader.numbers.size(), kReplies, 10000);
        QVERIFY(reader.inOrder());
    }

    void aSlowOwnerStillGetsItsOtherEvents()
    {
        if (UnderWine())
            QSKIP("times the event loop to 100 ms, which Wine's own overhead on a busy machine exceeds");
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        int handled = 0;
        connect(&socket, &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[CAMERA_INFO_SIZE];
            socket.ReceiveFrom(buffer, sizeof buffer);
            QThread::msleep(1);
            ++handled;
        });
        qint64 longestGap = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        connect(&ticker, &QTimer::timeout, this, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        LoopbackSender(300, 0).Wait();
        sinceTick.start();
        ticker.start(1);
        // 300 ms of handling in all: handed over in slices, so the timer keeps ticking.
        QTRY_COMPARE_WITH_TIMEOUT(handled, 300, 10000);
        QVERIFY2(longestGap < 100, qPrintable(QString::number(longestGap)));
    }

    void closeStopsPromptlyDuringAFlood()
    {
        auto socket = std::make_unique<CTalbrixReceveSocket>();
        QVERIFY(socket->Create());
        int handled = 0;
        connect(socket.get(), &CTalbrixReceveSocket::receivePacket, this, [&] {
            char buffer[CAMERA_INFO_SIZE];
            socket->ReceiveFrom(buffer, sizeof buffer);
            ++handled;
        });
        LoopbackSender flood(5'000'000, 0);
        QTRY_VERIFY(handled > 1000);
        QElapsedTimer closing;
        closing.start();
        socket->Close();
        QVERIFY2(closing.elapsed() < 500, qPrintable(QString::number(closing.elapsed())));
        QVERIFY(!socket->IsOpen());
        const int atClose = handled;
        QTest::qWait(50);
        QCOMPARE(handled, atClose); // nothing handed over after Close()

        // Deleted with hand-overs still pending: nothing may reach it any more.
        QVERIFY(socket->Create());
        QTRY_VERIFY(handled > atClose);
        socket.reset();
        QTest::qWait(50);
        flood.Stop();
        QVERIFY(flood.Sent() > 1000);
    }

    void ownerMayCloseOrDeleteTheSocketInItsHandler()
    {
        CTalbrixReceveSocket closing;
        QVERIFY(closing.Create());
        int signals = 0;
        connect(&closing, &CTalbrixReceveSocket::receivePacket, this, [&] {
            ++signals;
            closing.Close(); // as the main window does on a read error
        });
        LoopbackSender(20, 0).Wait();
        QTRY_COMPARE(signals, 1);
        QTest::qWait(50);
        QCOMPARE(signals, 1);
        QVERIFY(closing.Create()); // the port is free again

        auto deleted = std::make_unique<CTalbrixReceveSocket>();
        closing.Close();
        QVERIFY(deleted->Create());
        int deletions = 0;
        connect(deleted.get(), &CTalbrixReceveSocket::receivePacket, this, [&] {
            ++deletions;
            deleted.reset();
        });
        LoopbackSender(20, 0).Wait();
        QTRY_COMPARE(deletions, 1);
        QTest::qWait(50);
        QCOMPARE(deletions, 1);
    }

    void secondProgramOnTheReplyPort()
    {
        DevSim holder(0);
        QVERIFY(holder.Start({QStringLiteral("--device-port"), QString::number(REPLY_PORT)}));
        CTalbrixReceveSocket blocked;
        QVERIFY(!blocked.Create());
        holder.Stop();
        CTalbrixReceveSocket free;
        QVERIFY(free.Create());
        QVERIFY(free.IsOpen());
    }

    void recreatedOnTheSamePort()
    {
        auto first = std::make_unique<CTalbrixReceveSocket>();
        QVERIFY(first->Create());
        first->Close();
        first.reset();
        CTalbrixReceveSocket second;
        QVERIFY(second.Create());
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
