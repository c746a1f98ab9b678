#include "DatagramReceiver.h"
#include "NativeSocket.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <memory>
#include <random>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

// The receive thread on local datagram sockets and pipes: no network involved.
namespace {
struct SocketPair
{
    int reader = -1;
    int writer = -1;

    SocketPair()
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_DGRAM, 0, fds) == 0) {
            reader = fds[0];
            writer = fds[1];
            SetNonBlocking(reader);
            AskForReceiveTimes(reader);
            SetNonBlocking(writer);
        }
    }
    ~SocketPair()
    {
        ::close(reader);
        ::close(writer);
    }
    SocketPair(const SocketPair &) = delete;
    SocketPair &operator=(const SocketPair &) = delete;

    bool trySend(const QByteArray &datagram) const
    {
        return ::send(writer, datagram.constData(), static_cast<size_t>(datagram.size()), 0) == datagram.size();
    }

    // A local datagram socket holds only a few datagrams: waits while it is full.
    bool send(const QByteArray &datagram) const
    {
        const QDeadlineTimer deadline(2000);
        while (!trySend(datagram)) {
            if (deadline.hasExpired())
                return false;
            QThread::usleep(100);
        }
        return true;
    }
};

std::deque<ReceivedDatagram> takeUntil(DatagramReceiver &receiver, std::size_t count, int timeoutMs = 5000)
{
    std::deque<ReceivedDatagram> taken;
    const QDeadlineTimer deadline(timeoutMs);
    while (taken.size() < count && !deadline.hasExpired()) {
        receiver.Take(taken);
        QThread::msleep(1);
    }
    return taken;
}
} // namespace

class TestDatagramReceiver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsArrivalOrderAndTellsOncePerTake()
    {
        SocketPair pair;
        std::atomic<int> told{0};
        DatagramReceiver receiver({pair.reader}, [&] { ++told; });
        for (int i = 0; i < 1000; ++i)
            QVERIFY(pair.send(QByteArray::number(i)));
        QVERIFY(pair.send(QByteArray()));
        const std::deque<ReceivedDatagram> taken = takeUntil(receiver, 1001);
        QCOMPARE(taken.size(), std::size_t(1001));
        for (int i = 0; i < 1000; ++i) {
            QCOMPARE(taken[static_cast<std::size_t>(i)].data, QByteArray::number(i));
            QVERIFY(!taken[static_cast<std::size_t>(i)].failed);
        }
        QCOMPARE(taken.back().data, QByteArray()); // an empty datagram is one too
        // Told when something first waited after a Take(), not once per datagram.
        QVERIFY2(told.load() < 1001, qPrintable(QString::number(told.load())));

        const int before = told.load();
        QVERIFY(pair.send("late"));
        QTRY_COMPARE(told.load(), before + 1);
    }

    void mergesTheSocketsInTheOrderTheKernelReceived()
    {
        // Datagrams sent in a known order, each to one of three sockets chosen at random: some wait
        // in all three before reading starts, the rest come while it runs.
        SocketPair pairs[3];
        std::mt19937 random(21);
        constexpr int kWaiting = 24;
        constexpr int kCount = 3000;
        const auto sendNext = [&](int i) { return pairs[random() % 3].send(QByteArray::number(i)); };
        for (int i = 0; i < kWaiting; ++i)
            QVERIFY(sendNext(i));
        DatagramReceiver receiver({pairs[0].reader, pairs[1].reader, pairs[2].reader}, [] {});
        for (int i = kWaiting; i < kCount; ++i)
            QVERIFY(sendNext(i));
        const std::deque<ReceivedDatagram> taken = takeUntil(receiver, kCount);
        QCOMPARE(taken.size(), std::size_t(kCount));
        for (int i = 0; i < kCount; ++i)
            QCOMPARE(taken[static_cast<std::size_t>(i)].data, QByteArray::number(i));
    }

    void stopsReadingWhileTheOwnerTakesNothing()
    {
        SocketPair pair;
        DatagramReceiver receiver({pair.reader}, [] {});
        // Datagrams of the largest size kept whole until the socket stays full: reading must have
        // paused at the bound, leaving the rest to the kernel's buffer.
        const QByteArray big(DatagramReceiver::kKeptBytes, 'b');
        constexpr int kMany = 40000;
        int sent = 0;
        QDeadlineTimer stalled(500);
        while (sent < kMany && !stalled.hasExpired()) {
            if (pair.trySend(big)) {
                ++sent;
                stalled.setRemainingTime(500);
            } else {
                QThread::msleep(1);
            }
        }
        QVERIFY2(sent < kMany, "reading never paused");
        std::deque<ReceivedDatagram> taken;
        receiver.Take(taken);
        const auto bound = DatagramReceiver::kMaxWaitingBytes / big.size() + 256;
        QVERIFY2(static_cast<qsizetype>(taken.size()) <= bound, qPrintable(QString::number(taken.size())));
        QVERIFY(taken.size() > 0);

        // Taking resumes reading: the rest arrives, in order, none lost.
        const std::deque<ReceivedDatagram> rest = takeUntil(receiver, static_cast<std::size_t>(sent) - taken.size());
        QCOMPARE(taken.size() + rest.size(), static_cast<std::size_t>(sent));
    }

    void aFailedReadIsHandedOnWithoutSpinning()
    {
        // A pipe is readable but no socket: every read fails.
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        std::atomic<int> told{0};
        {
            DatagramReceiver receiver({fds[0]}, [&] { ++told; });
            QCOMPARE(::write(fds[1], "x", 1), ssize_t(1));
            QTRY_COMPARE(told.load(), 1);
            QTest::qWait(100);
            QCOMPARE(told.load(), 1); // paused until the owner has taken the failure

            std::deque<ReceivedDatagram> taken;
            receiver.Take(taken);
            QCOMPARE(taken.size(), std::size_t(1));
            QVERIFY(taken.front().failed);
            QTRY_COMPARE(told.load(), 2); // still failing after the owner took it: one more
        }
        ::close(fds[0]);
        ::close(fds[1]);
    }

    void stopsPromptlyWhileDatagramsKeepComing()
    {
        SocketPair pair;
        std::atomic<bool> stop{false};
        std::atomic<int> sent{0};
        std::thread writer([&] {
            const QByteArray datagram(372, 'f');
            while (!stop && sent < 2'000'000) {
                if (pair.trySend(datagram))
                    ++sent;
            }
        });
        auto receiver = std::make_unique<DatagramReceiver>(std::vector<NativeSocket>{pair.reader}, [] {});
        std::deque<ReceivedDatagram> taken;
        const QDeadlineTimer running(300);
        while (!running.hasExpired()) {
            receiver->Take(taken);
            taken.clear();
            QThread::msleep(5);
        }
        QElapsedTimer stopping;
        stopping.start();
        receiver.reset();
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
        stop = true;
        writer.join();
        QVERIFY(sent > 0);
    }
};

QTEST_GUILESS_MAIN(TestDatagramReceiver)
#include "tst_datagramreceiver.moc"
