#include "CaptureStdout.h"
#include "DialogHarness.h"

#include <QJsonObject>
#include <QPushButton>
#include <QTest>

using namespace TestNetwork;

// What a person sees of a search that lost answers: a note in the list's tooltip and the same
// line on standard output; and nothing of the kind, and one request, when nothing was lost.
namespace {
int searchRequests(const DevSim &device)
{
    const QList<QJsonObject> log = device.Log();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [](const QJsonObject &datagram) {
        return datagram.value(QLatin1String("protocol")).toString() == QLatin1String("own")
               && datagram.value(QLatin1String("size")).toInt() == CAMERA_INFO_WIRE_SIZE;
    }));
}
} // namespace

class TestSearchCompleteness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void aSmallSiteGetsOneRequestAndNoNote()
    {
        DevSim devices;
        QVERIFY(devices.Start({QStringLiteral("--generate"), QStringLiteral("20")}));
        DialogHarness h;
        const QByteArray out = CaptureStdout([&] {
            h.dialog->m_btnSearch->click();
            (void)QTest::qWaitFor([&] { return h.list().GetItemCount() == 20; }, 5000);
            QTest::qWait(3 * SearchRepeater::kQuietMs);
        });
        QCOMPARE(h.list().GetItemCount(), 20);
        QCOMPARE(searchRequests(devices), 1);
        QVERIFY(h.list().toolTip().isEmpty());
        QVERIFY(!out.contains("Device search:"));
        QVERIFY(h.messages.isEmpty());
    }

    void droppedAnswersAreNotedUnderTheListAndOnStandardOutput()
    {
        if (UnderWine())
            QSKIP("needs the kernel's count of drops (Linux's SO_MEMINFO), which Windows does not tell");
        // The smallest buffers there are: a burst of 3,000 answers overflows them.
        CorvaneServices services;
        services.receiveBufferBytes = 1;
        DevSim devices;
        QVERIFY(devices.Start({QStringLiteral("--generate"), QStringLiteral("3000")}));
        DialogHarness h(services);
        const QByteArray out = CaptureStdout([&] {
            h.dialog->m_btnSearch->click();
            (void)QTest::qWaitFor([&] { return h.list().toolTip().contains(QLatin1String("requests sent,")); }, 60000);
        });
        const QString note = h.list().toolTip();
        QVERIFY2(note.startsWith(QLatin1String("Device search: ")), qPrintable(note));
        QVERIFY(out.contains(note.toUtf8() + '\n'));
        // Asked again: the note's count of requests is what went out.
        const int requests = searchRequests(devices);
        QVERIFY(requests >= 2);
        QVERIFY(note.startsWith(QStringLiteral("Device search: %1 requests sent").arg(requests)));
        QVERIFY(h.messages.isEmpty()); // no box
        // A new search starts without the old note.
        h.dialog->m_btnSearch->click();
        QVERIFY(h.list().toolTip().isEmpty() || h.list().toolTip().contains(QLatin1String("asking again")));
    }
};

QTEST_MAIN(TestSearchCompleteness)
#include "tst_searchcompleteness.moc"
