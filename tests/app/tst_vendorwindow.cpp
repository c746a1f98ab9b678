// The rules of the vendor window that a change to how it reaches the library could break,
// checked through what the simulator receives and what the main window shows.

#include "CHalvetranoDlg.h"
#include "CaptureStdout.h"
#include "DialogHarness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

using namespace TestNetwork;
using D = CCorvaneDlg;

namespace {
const QByteArray kVendorMac = "5C:F2:07:00:20:01";

enum ZekType : quint8 { Probe = 0x01, Login = 0x02, Reboot = 0x03, Modify = 0x06 };

QStringList devices()
{
    return {QStringLiteral("--device"),
            QStringLiteral("mac=00:1A:2B:3C:4D:01,ip=10.77.1.21,password=secret"),
            QStringLiteral("--device"),
            QStringLiteral("family=vendor,mac=%1,ip=%2,mediaPort=8001,userId=,password=secret")
                .arg(QLatin1String(kVendorMac), kDeviceAddress1),
            QStringLiteral("--device"),
            QStringLiteral("family=vendor,mac=5C:F2:07:00:20:02,ip=%1,mediaPort=8002,userId=,password=secret")
                .arg(kDeviceAddress1)};
}

// The vendor-protocol datagrams the simulator has received, in order.
QList<QByteArray> vendorRequests(const DevSim &sim)
{
    QList<QByteArray> requests = ReceivedDatagrams(sim, QLatin1String("vendor"));
    requests.removeIf([](const QByteArray &datagram) { return datagram.size() < 16; });
    return requests;
}

quint8 typeOf(const QByteArray &request)
{
    return static_cast<quint8>(request[5]);
}

quint32 le32(const QByteArray &bytes, int offset)
{
    quint32 value = 0;
    std::memcpy(&value, bytes.constData() + offset, sizeof value);
    return value;
}

QList<quint8> typesOf(const QList<QByteArray> &requests)
{
    QList<quint8> types;
    for (const QByteArray &request : requests)
        types << typeOf(request);
    return types;
}

void searchAll(DialogHarness &h, int count)
{
    QSignalSpy done(h.dialog->m_pVendorDlg.get(), &CHalvetranoDlg::vendorDone);
    h.dialog->OnBnClickedSearch();
    QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), count, 6000);
    QTRY_VERIFY_WITH_TIMEOUT(done.count() > 0, 8000);
    // and its second has run out, so that it hides no later window
    QTRY_VERIFY_WITH_TIMEOUT(!h.dialog->m_pWaitDlg->isVisible(), 3000);
}

void selectVendorDevice(DialogHarness &h, const char *password)
{
    const int row = h.rowOf(kVendorMac);
    QVERIFY(row >= 0);
    h.dialog->OnNMClickListDevice(row);
    h.setText(D::IDC_EDIT_PASSWORD, QLatin1String(password));
}
} // namespace

class TestVendorWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void twoQuickSearchesRunOneLibrarySearch()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        QSignalSpy done(h.dialog->m_pVendorDlg.get(), &CHalvetranoDlg::vendorDone);
        h.dialog->OnBnClickedSearch();
        h.dialog->OnBnClickedSearch(); // its worker finds the first search running and ends
        QTRY_VERIFY_WITH_TIMEOUT(done.count() > 0, 8000);
        QTest::qWait(500);
        QCOMPARE(done.count(), 1); // only a search that ran reports its end
        QCOMPARE(h.dialog->m_pVendorDlg->m_bSearching.load(), 0);

        QSet<quint32> probeIds;
        for (const QByteArray &request : vendorRequests(sim)) {
            if (typeOf(request) == Probe)
                probeIds.insert(le32(request, 8));
        }
        QCOMPARE(probeIds.size(), 1);
        QCOMPARE(h.list().GetItemCount(), 3); // the own device and both vendor ones, once each

        searchAll(h, 3); // the flag came down: the next search runs
        QCOMPARE(done.count(), 2);
    }

    void aRefusedLoginStillRebootsAndCloses()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 3);
        h.list().SetCheck(h.rowOf(kVendorMac), true);
        const int sentBefore = static_cast<int>(vendorRequests(sim).size());

        selectVendorDevice(h, "wrong");
        const QByteArray refused = CaptureStdout([&h] { h.dialog->OnBnClickedReboot(); });
        QVERIFY2(refused.contains("password error\n"), refused.constData());
        QTRY_COMPARE(typesOf(vendorRequests(sim).mid(sentBefore)), QList<quint8>({Login, Reboot}));
        QCOMPARE(le32(vendorRequests(sim).at(sentBefore + 1), 36), 0u); // the session a refused login leaves: none
        // A refused login leaves no session, so its close sends nothing a device could see. With
        // the right password the reboot carries the session the login gave.
        const int sentBetween = static_cast<int>(vendorRequests(sim).size());
        selectVendorDevice(h, "secret");
        const QByteArray accepted = CaptureStdout([&h] { h.dialog->OnBnClickedReboot(); });
        QVERIFY(accepted.contains("login success!\n"));
        QTRY_COMPARE(typesOf(vendorRequests(sim).mid(sentBetween)), QList<quint8>({Login, Reboot}));
        QVERIFY(le32(vendorRequests(sim).at(sentBetween + 1), 36) != 0u);
        QCOMPARE(h.messages.size(), 2); // Reboot shows each ticked row
    }

    void aNetworkChangeCarriesTheFixedSecondaryDns()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 3);
        selectVendorDevice(h, "secret");
        h.setText(D::IDC_EDIT_IP, QStringLiteral("10.77.1.61"));
        h.setText(D::IDC_EDIT_DNS, QStringLiteral("10.77.1.253"));
        h.dialog->OnBnClickedDhcp(); // the library is told static addressing all the same
        h.dialog->OnBnClickedSave();
        QCOMPARE(h.messages, QStringList({QStringLiteral("Apply")}));

        QList<QByteArray> changes;
        for (const QByteArray &request : vendorRequests(sim)) {
            if (typeOf(request) == Modify)
                changes << request;
        }
        QCOMPARE(changes.size(), 1);
        const QByteArray &change = changes.first();
        QCOMPARE(ReadText(change.constData() + 16, 40), kVendorMac);
        QCOMPARE(ReadText(change.constData() + 120, 16), QByteArray("10.77.1.61"));
        QCOMPARE(ReadText(change.constData() + 168, 16), QByteArray("10.77.1.253"));
        QCOMPARE(ReadText(change.constData() + 184, 16), QByteArray("8.8.8.8"));
        QCOMPARE(le32(change, 200), 2u);
    }

    void aSecondVendorDoneRestartsTheSecond()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 3);
        selectVendorDevice(h, "secret");
        CSplashMsgDlg &wait = *h.dialog->m_pWaitDlg;

        // A search's end, then 600 ms later a network change's end; a slow machine that lets the
        // first second run out before the second end is tried again.
        bool judged = false;
        for (int attempt = 0; attempt < 3 && !judged; ++attempt) {
            QSignalSpy done(h.dialog->m_pVendorDlg.get(), &CHalvetranoDlg::vendorDone);
            h.dialog->OnBnClickedSearch();
            QTRY_VERIFY_WITH_TIMEOUT(done.count() == 1, 8000);
            QElapsedTimer sinceSecond;
            QTest::qWait(600);
            if (!wait.isVisible())
                continue;
            h.dialog->OnNMClickListDevice(h.rowOf(kVendorMac));
            h.setText(D::IDC_EDIT_PASSWORD, QStringLiteral("secret"));
            h.dialog->OnBnClickedSave(); // ends with the second vendor-done
            sinceSecond.start();
            QCOMPARE(done.count(), 2);
            QTRY_VERIFY_WITH_TIMEOUT(!wait.isVisible(), 3000);
            // Qt's coarse timers may fire up to 5 % early.
            QVERIFY2(sinceSecond.elapsed() >= 900, "hidden a second after the second end, not the first");
            judged = true;
        }
        QVERIFY2(judged, "the machine was too slow to judge the timer");
    }

    void teardownInItsOrder()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 3);
        h.dialog->OnBnClickedSearch(); // a vendor search is running at the close
        QTRY_COMPARE(h.list().GetItemCount(), 3);
        QVERIFY(h.dialog->m_pVendorDlg->m_bSearching.load() == 1);

        CCorvaneDlg *dialog = h.dialog.get();
        QStringList order;
        const auto note = [&order, dialog](const char *what) {
            order << QStringLiteral("%1: devices %2, adapters %3, socket %4, vendor %5, wait %6")
                         .arg(QLatin1String(what))
                         .arg(dialog->m_arrDevices.size())
                         .arg(dialog->m_arrAdapters.size())
                         .arg(dialog->m_pReceiveSocket != nullptr)
                         .arg(dialog->m_pVendorDlg != nullptr)
                         .arg(dialog->m_pWaitDlg != nullptr);
        };
        QVERIFY(dialog->m_pReceiveSocket);
        connect(dialog->m_pReceiveSocket.get(), &QObject::destroyed, [&] { note("socket"); });
        connect(dialog->m_pVendorDlg.get(), &QObject::destroyed, [&] { note("vendor"); });
        connect(dialog->m_pWaitDlg.get(), &QObject::destroyed, [&] { note("wait"); });
        QSignalSpy lateDevices(dialog->m_pVendorDlg.get(), &CHalvetranoDlg::deviceFound);
        h.dialog.reset();

        QCOMPARE(order, QStringList({QStringLiteral("socket: devices 3, adapters 3, socket 0, vendor 1, wait 1"),
                                     QStringLiteral("vendor: devices 0, adapters 0, socket 0, vendor 0, wait 1"),
                                     QStringLiteral("wait: devices 0, adapters 0, socket 0, vendor 0, wait 0")}));
        QCOMPARE(lateDevices.count(), 0);
    }

    // The test build of the library writes down every call: what the simulator cannot see.
    void theLibraryGetsItsCallsInOrder()
    {
        QTemporaryDir dir;
        const QString calls = dir.filePath(QStringLiteral("calls"));
        qputenv("CORVANE_ZEKSDK", CORVANE_FAKE_ZEKSDK_DIR);
        qputenv("CORVANE_FAKE_ZEKSDK_CALLS", QFile::encodeName(calls));
        const auto restore = qScopeGuard([] {
            qunsetenv("CORVANE_ZEKSDK");
            qunsetenv("CORVANE_FAKE_ZEKSDK_CALLS");
        });
        const auto callsSince = [&calls](qsizetype from) {
            QFile file(calls);
            return file.open(QIODevice::ReadOnly | QIODevice::Text) // \r\n on Windows
                       ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(from)
                       : QStringList();
        };
        const QByteArray fakeMac = "5C:F2:07:FA:CE:01";

        auto h = std::make_unique<DialogHarness>();
        QVERIFY(h->dialog->m_pVendorDlg->HasLibrary());
        h->dialog->OnBnClickedSearch();
        QTRY_VERIFY_WITH_TIMEOUT(h->rowOf(fakeMac) >= 0, 5000);
        QTRY_VERIFY(!h->dialog->m_pVendorDlg->m_bSearching);
        const int row = h->rowOf(fakeMac);
        h->list().SetCheck(row, true);
        h->dialog->OnNMClickListDevice(row);
        h->setText(D::IDC_EDIT_PASSWORD, QStringLiteral("wrong"));

        // A refused login still leads to the operation, then the close and the delete.
        for (const bool reboot : {true, false}) {
            const qsizetype before = callsSince(0).size();
            const QByteArray out = CaptureStdout([&] {
                if (reboot)
                    h->dialog->OnBnClickedReboot();
                else
                    h->dialog->OnBnClickedFactoryReset();
            });
            QVERIFY(out.contains("password error\n"));
            const QStringList made = callsSince(before);
            QCOMPARE(made.size(), 5);
            QCOMPARE(made[0], QStringLiteral("ZEKDevice_Create"));
            QVERIFY(made[1].startsWith(QStringLiteral("ZEKDevice_Open ")));
            const QString handle = made[1].section(QLatin1Char(' '), 1, 1);
            QCOMPARE(made.mid(2),
                     QStringList({(reboot ? "ZEKDevice_RebootDevice " : "ZEKDevice_FactoryReset ") + handle,
                                  "ZEKDevice_Close " + handle, "ZEKDevice_Delete " + handle}));
        }

        // Teardown stops the library, and nothing is called after it.
        const qsizetype before = callsSince(0).size();
        h.reset();
        QCOMPARE(callsSince(before), QStringList({QStringLiteral("ZEKSDKInvalidate")}));
    }
};

QTEST_MAIN(TestVendorWindow)
#include "tst_vendorwindow.moc"
