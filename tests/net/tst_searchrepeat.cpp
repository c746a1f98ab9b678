#include "CTalbrixReceveSocket.h"
#include "CTalbrixSendSocket.h"
#include "CaptureStdout.h"
#include "RecordText.h"
#include "SearchRepeater.h"
#include "TestNetwork.h"

#include <QJsonObject>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using namespace TestNetwork;

namespace {
void sendSearch()
{
    CaptureStdout([] { CTalbrixSendSocket().SendPacket(kHostAddress1, -1, MakeSearchRequest()); });
}

int searchRequests(const DevSim &device)
{
    const QList<QJsonObject> log = device.Log();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [](const QJsonObject &datagram) {
        return datagram.value(QLatin1String("size")).toInt() == CAMERA_INFO_WIRE_SIZE;
    }));
}

// Every distinct MAC the socket hands over.
struct MacReader
{
    QSet<QByteArray> macs;

    explicit MacReader(CTalbrixReceveSocket &socket)
    {
        QObject::connect(&socket, &CTalbrixReceveSocket::receivePacket, &socket, [this, &socket] {
            char buffer[CAMERA_INFO_SIZE];
            const qint64 size = socket.ReceiveFrom(buffer, sizeof buffer);
            if (size >= CAMERA_INFO_WIRE_SIZE && size <= CAMERA_INFO_SIZE)
                macs.insert(ReadText(FromDatagram(QByteArrayView(buffer, size)).mac_addr));
        });
    }
};
} // namespace

class TestSearchRepeat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void policyAsksAgainOnlyAfterDropsAndStopsAtTheBound()
    {
        SearchRepeatPolicy quiet(2);
        quiet.Sent(0);
        QVERIFY(!quiet.ShouldRepeat(0));
        QCOMPARE(quiet.Requests(), 1);
        QVERIFY(quiet.Summary(10).isEmpty());

        SearchRepeatPolicy mended(2);
        mended.Sent(7); // counts from before the search are not this search's
        QVERIFY(mended.ShouldRepeat(11));
        mended.Sent(11);
        QVERIFY(!mended.ShouldRepeat(11));
        QCOMPARE(mended.Summary(40), QStringLiteral("Device search: 2 requests sent, 4 answers dropped by this "
                                                    "computer, none after the last request: the list is complete "
                                                    "(40 devices)."));

        SearchRepeatPolicy bounded(2);
        bounded.Sent(0);
        QVERIFY(bounded.ShouldRepeat(5));
        bounded.Sent(5);
        QVERIFY(bounded.ShouldRepeat(9));
        bounded.Sent(9);
        QVERIFY(!bounded.ShouldRepeat(10));
        QCOMPARE(bounded.Requests(), 3);
        QCOMPARE(bounded.Summary(7), QStringLiteral("Device search: 3 requests sent, 10 answers dropped by this "
                                                    "computer, 1 after the last request: devices may be missing "
                                                    "(7 listed)."));

        SearchRepeatPolicy blind(2); // a platform that cannot count drops asks once
        blind.Sent(-1);
        QVERIFY(!blind.ShouldRepeat(-1));
    }

    // Windows counts no drops: the policy judges by the burst, the devices each repeat added and
    // the system's UDP errors. The counts run from the socket's start, as the repeater reads them.
    void policyWithoutDropCountsAsksAgainWhileRepeatsFindDevices()
    {
        const auto counts = [](qint64 answers, qint64 listed, qint64 systemErrors = -1) {
            return SearchCounts{-1, answers, listed, systemErrors};
        };
        constexpr qint64 kAtOnce = SearchRepeatPolicy::kBurstThreshold;

        SearchRepeatPolicy small(6); // a small site: one request, no note
        small.Sent(counts(0, 0));
        QVERIFY(!small.ShouldRepeat(counts(kAtOnce, kAtOnce)));
        QCOMPARE(small.Requests(), 1);
        QVERIFY(small.Summary(static_cast<int>(kAtOnce)).isEmpty());

        SearchRepeatPolicy complete(6); // a large burst: once more; it adds nothing, so no more
        complete.Sent(counts(0, 0));
        QVERIFY(complete.ShouldRepeat(counts(5000, 4990)));
        complete.Sent(counts(5000, 4990)); // the note under the list is read after each repeat
        QCOMPARE(complete.Progress(), QStringLiteral("Device search: 5000 answers at once, more than this computer "
                                                     "may hold; asking again (2 requests sent)."));
        QVERIFY(!complete.ShouldRepeat(counts(9990, 4990)));
        QCOMPARE(complete.Summary(4990), QStringLiteral("Device search: 2 requests sent, 5000 answers at once, "
                                                        "none new after the last request: the list is complete "
                                                        "(4990 devices)."));

        SearchRepeatPolicy filling(6); // each repeat that still adds devices asks again
        filling.Sent(counts(0, 0));
        QVERIFY(filling.ShouldRepeat(counts(5000, 4000)));
        filling.Sent(counts(5000, 4000));
        QVERIFY(filling.ShouldRepeat(counts(10000, 4800)));
        QCOMPARE(filling.NewAfterLastRepeat(), qint64(800));
        filling.Sent(counts(10000, 4800));
        QCOMPARE(filling.Progress(), QStringLiteral("Device search: the last request found 800 more devices; asking "
                                                    "again (3 requests sent)."));
        QVERIFY(filling.ShouldRepeat(counts(15000, 4801)));
        filling.Sent(counts(15000, 4801));
        QVERIFY(!filling.ShouldRepeat(counts(20000, 4801)));
        QCOMPARE(filling.Requests(), 4);

        SearchRepeatPolicy bounded(2); // the bound holds while every repeat adds devices
        bounded.Sent(counts(0, 0));
        QVERIFY(bounded.ShouldRepeat(counts(5000, 4000)));
        bounded.Sent(counts(5000, 4000));
        QVERIFY(bounded.ShouldRepeat(counts(10000, 4500)));
        bounded.Sent(counts(10000, 4500));
        QVERIFY(!bounded.ShouldRepeat(counts(15000, 4700)));
        QCOMPARE(bounded.Requests(), 3);
        QCOMPARE(bounded.Summary(4700), QStringLiteral("Device search: 3 requests sent, 5000 answers at once, "
                                                       "200 new after the last request: devices may be missing "
                                                       "(4700 listed)."));

        SearchRepeatPolicy hinted(6); // a small burst, but the system's UDP errors rose meanwhile
        hinted.Sent(counts(0, 0, 17));
        QVERIFY(hinted.ShouldRepeat(counts(40, 40, 19)));
        hinted.Sent(counts(40, 40, 19));
        QVERIFY(!hinted.ShouldRepeat(counts(80, 40, 19)));
        SearchRepeatPolicy steady(6); // errors known and unchanged: no hint
        steady.Sent(counts(0, 0, 17));
        QVERIFY(!steady.ShouldRepeat(counts(40, 40, 17)));
    }

    void aSearchWithNoDropsSendsOneRequest()
    {
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        MacReader reader(socket);
        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--generate"), QStringLiteral("300"), QStringLiteral("--own-addresses"),
                              QStringLiteral("--first-ip"), QStringLiteral("10.78.0.1"), QStringLiteral("--shuffle")}));
        SearchRepeater repeater(&sendSearch);
        QSignalSpy finished(&repeater, &SearchRepeater::finished);
        sendSearch();
        repeater.Start(&socket);
        QVERIFY(finished.wait(10000));
        QCOMPARE(reader.macs.size(), 300);
        QCOMPARE(repeater.Policy().Requests(), 1);
        QCOMPARE(searchRequests(device), 1);
        QVERIFY(repeater.Policy().Summary(300).isEmpty());
    }

    void aBurstLargerThanTheBufferLosesNothing()
    {
        if (UnderWine())
            QSKIP("repeats on the kernel's count of drops (Linux's SO_MEMINFO), which Windows does not tell");
        // A stock host's buffer, 6,000 answers at full speed from their own addresses: every
        // device arrives, whatever the kernel dropped on the way.
        CTalbrixReceveSocket socket(QHostAddress(QHostAddress::AnyIPv4), REPLY_PORT, 212992);
        QVERIFY(socket.Create());
        MacReader reader(socket);
        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--generate"), QStringLiteral("6000"), QStringLiteral("--own-addresses"),
                              QStringLiteral("--first-ip"), QStringLiteral("10.78.0.1"), QStringLiteral("--shuffle")}));
        SearchRepeater repeater(&sendSearch);
        QSignalSpy finished(&repeater, &SearchRepeater::finished);
        sendSearch();
        repeater.Start(&socket);
        QVERIFY(finished.wait(60000));
        QCOMPARE(repeater.Policy().DroppedAfterLast(), qint64(0));
        QCOMPARE(reader.macs.size(), 6000);
        QCOMPARE(searchRequests(device), repeater.Policy().Requests());
    }

    void withoutDropCountsALargeBurstIsAskedOnceMore()
    {
        if (!UnderWine())
            QSKIP("Linux counts its drops: the policy's other way is tested above with its inputs");
        CTalbrixReceveSocket socket;
        QVERIFY(socket.Create());
        QCOMPARE(socket.Overflows(), qint64(-1));
        MacReader reader(socket);
        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--generate"), QStringLiteral("3000")}));
        SearchRepeater repeater(&sendSearch);
        repeater.CountListedBy([&] { return static_cast<qint64>(reader.macs.size()); });
        QSignalSpy finished(&repeater, &SearchRepeater::finished);
        sendSearch();
        repeater.Start(&socket);
        QVERIFY(finished.wait(60000));
        QCOMPARE(reader.macs.size(), 3000);
        // Once more for the burst; again only while a repeat still found devices.
        QVERIFY(repeater.Policy().Requests() >= 2);
        QCOMPARE(repeater.Policy().NewAfterLastRepeat(), qint64(0));
        QCOMPARE(searchRequests(device), repeater.Policy().Requests());
        QVERIFY(repeater.Policy().Summary(3000).endsWith(QLatin1String("the list is complete (3000 devices).")));
    }

    void repeatsStopAtTheBound()
    {
        if (UnderWine())
            QSKIP("repeats on the kernel's count of drops (Linux's SO_MEMINFO), which Windows does not tell");
        // One socket with the smallest buffer there is drops in every burst of 3,000.
        CTalbrixReceveSocket socket(QHostAddress(QHostAddress::AnyIPv4), REPLY_PORT, 1, 1);
        QVERIFY(socket.Create());
        MacReader reader(socket);
        DevSim device;
        QVERIFY(device.Start({QStringLiteral("--generate"), QStringLiteral("3000")}));
        SearchRepeater repeater(&sendSearch, 2);
        QSignalSpy repeated(&repeater, &SearchRepeater::repeated);
        QSignalSpy finished(&repeater, &SearchRepeater::finished);
        sendSearch();
        repeater.Start(&socket);
        QVERIFY(finished.wait(30000));
        QCOMPARE(repeated.size(), 2);
        QCOMPARE(repeater.Policy().Requests(), 3);
        QCOMPARE(searchRequests(device), 3);
        QVERIFY(repeater.Policy().DroppedAfterLast() > 0);
        QVERIFY(!repeater.IsWatching());
        QTest::qWait(2 * SearchRepeater::kQuietMs);
        QCOMPARE(searchRequests(device), 3);
    }

    void aClosedSocketEndsTheWatch()
    {
        auto socket = std::make_unique<CTalbrixReceveSocket>();
        QVERIFY(socket->Create());
        int resent = 0;
        SearchRepeater repeater([&] { ++resent; });
        repeater.Start(socket.get());
        socket.reset(); // a new search replaces the socket
        QTRY_VERIFY(!repeater.IsWatching());
        QCOMPARE(resent, 0);
    }
};

QTEST_GUILESS_MAIN(TestSearchRepeat)
#include "tst_searchrepeat.moc"
