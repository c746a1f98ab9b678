#include "AdapterNetwork.h"
#include "CHalvetranoDlg.h"
#include "CaptureStdout.h"
#include "DeviceSearch.h"
#include "PlanApply.h"
#include "RecordText.h"
#include "TestNetwork.h"
#include "TestRecords.h"
#include "Veth1Adapter.h"

#include <QSignalSpy>
#include <QTest>

using namespace TestNetwork;
using namespace Qt::Literals::StringLiterals;

namespace {
PlanRow row(const char *mac, const char *ip)
{
    PlanRow r;
    r.mac = QLatin1String(mac);
    r.ip = QLatin1String(ip);
    r.user = u"admin"_s;
    return r;
}

// Two own-family devices in the simulator, .01 and .02, as a search through veth1 finds them.
struct TwoDevices
{
    DevSim sim;
    const CNetworkAdapterObj adapter = veth1();
    DeviceSearch search;
    QList<CameraInfo> found;

    bool Start(const QString &secondDeviceOptions = {})
    {
        if (!sim.Start({u"--device"_s, u"mac=00:1A:2B:3C:4D:01,ip=10.77.1.21"_s, u"--device"_s,
                        u"mac=00:1A:2B:3C:4D:02,ip=10.77.1.22"_s + secondDeviceOptions})
            || !search.OpenReplySocket())
            return false;
        SearchRound round(search);
        round.Start({&adapter}, 1000, {true, false});
        QSignalSpy finished(&round, &SearchRound::finished);
        finished.wait(8000);
        for (const FoundDevice &device : round.Devices())
            found << device.record;
        return found.size() == 2;
    }
};
} // namespace

// The apply step as a window drives it: signals as rows end, Cancel between devices.
class TestPlanApply : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void rowsReportAsTheyEndAndTheCheckFollows()
    {
        TwoDevices site;
        QVERIFY(site.Start(u",fakeApply=1"_s));
        PlanApply apply(site.search, nullptr, site.adapter);
        QStringList events;
        connect(&apply, &PlanApply::rowStarted, this, [&](int r) { events << u"start %1"_s.arg(r); });
        connect(&apply, &PlanApply::rowResult, this, [&](int r, const QString &result, bool ok) {
            events << u"%1 %2 %3"_s.arg(r).arg(result, ok ? u"ok"_s : u"failed"_s);
        });
        connect(&apply, &PlanApply::verifying, this, [&] { events << u"verifying"_s; });
        connect(&apply, &PlanApply::rowVerified, this, [&](int r, const QString &text, bool ok) {
            events << u"%1 %2 %3"_s.arg(r).arg(text, ok ? u"ok"_s : u"failed"_s);
        });
        QSignalSpy finished(&apply, &PlanApply::finished);
        PlanApply::Settings settings;
        settings.password = u"admin"_s;
        settings.verifyWaitMs = 1000;
        PlanRow malformed = row("00:1A:2B:3C:4D:03", "10.77.1.33");
        malformed.error = u"a reason"_s;
        apply.Start({row("00:1A:2B:3C:4D:01", "10.77.1.31"), malformed, row("00:1A:2B:3C:4D:02", "10.77.1.32"),
                     row("00:1A:2B:3C:4D:09", "10.77.1.39")},
                    site.found, settings);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
        QCOMPARE(events, QStringList({u"start 0"_s, u"0 Apply ok"_s, u"start 1"_s, u"1 a reason failed"_s, u"start 2"_s,
                                      u"2 Apply ok"_s, u"start 3"_s, u"3 not found failed"_s, u"verifying"_s,
                                      u"0 found at 10.77.1.31 ok"_s,
                                      u"2 not found at 10.77.1.32: answers at 10.77.1.22 failed"_s}));
        QVERIFY(!apply.AllSucceeded());
    }

    void onlySettingsTheFamilyTakesCountAsChanges()
    {
        const CameraInfo own = MakeReply("00:1A:2B:3C:4D:01", "10.77.1.21");
        PlanRow same = row("00:1A:2B:3C:4D:01", "10.77.1.21");
        same.mask = u"255.255.255.0"_s;
        same.webPort = 80;
        same.user = u"operator"_s; // a credential, not a setting
        QCOMPARE(ChangedSettings(own, EditedRecord(own, same, {}, u"pw"_s)), QStringList());

        PlanRow other = row("00:1A:2B:3C:4D:01", "10.77.1.31");
        other.dns = u"10.77.1.9"_s;
        other.webPort = 8080;
        other.dhcp = true;
        QCOMPARE(ChangedSettings(own, EditedRecord(own, other, {}, u"pw"_s)),
                 QStringList({u"ip"_s, u"dns"_s, u"web_port"_s, u"dhcp"_s}));
        CameraInfo vendor = MakeReply("5C:F2:07:00:10:01", "10.77.1.21", VENDOR_MANUFACTURER);
        QCOMPARE(ChangedSettings(vendor, EditedRecord(vendor, other, {}, u"pw"_s)),
                 QStringList({u"ip"_s, u"dns"_s})); // the vendor library takes neither port nor DHCP
    }

    void cancelStopsBeforeTheNextDevice()
    {
        TwoDevices site;
        QVERIFY(site.Start());
        PlanApply apply(site.search, nullptr, site.adapter);
        connect(&apply, &PlanApply::rowResult, &apply, &PlanApply::Cancel); // after the first device
        QSignalSpy finished(&apply, &PlanApply::finished);
        QSignalSpy verifying(&apply, &PlanApply::verifying);
        PlanApply::Settings settings;
        settings.password = u"admin"_s;
        apply.Start({row("00:1A:2B:3C:4D:01", "10.77.1.31"), row("00:1A:2B:3C:4D:02", "10.77.1.32")}, site.found,
                    settings);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QCOMPARE(apply.Outcomes()[0].result, u"Apply"_s);
        QCOMPARE(apply.Outcomes()[1].result, u"cancelled"_s);
        QCOMPARE(verifying.size(), 0);
        QCOMPARE(SetNetworkRequests(site.sim).size(), 1);
    }

    // Both would take the device's one answer for their own: the second plan leaves it alone
    // while the first runs, and may change it once the first has ended.
    void twoPlansDoNotShareADevicesAnswers()
    {
        TwoDevices site;
        QVERIFY(site.Start());
        DeviceSearch &search = site.search;
        const CNetworkAdapterObj &adapter = site.adapter;
        const QList<CameraInfo> &found = site.found;
        PlanApply::Settings settings;
        settings.password = u"admin"_s;
        settings.verify = false;

        PlanApply first(search, nullptr, adapter);
        PlanApply second(search, nullptr, adapter);
        QSignalSpy firstFinished(&first, &PlanApply::finished);
        QSignalSpy secondFinished(&second, &PlanApply::finished);
        first.Start({row("00:1A:2B:3C:4D:01", "10.77.1.31")}, found, settings);
        for (const CameraInfo &device : found) // the one it has begun is its own
            QCOMPARE(search.AnswerOwner(device),
                     ReadText(device.mac_addr).endsWith("01") ? static_cast<const QObject *>(&first) : nullptr);
        second.Start({row("00:1A:2B:3C:4D:01", "10.77.1.41"), row("00:1A:2B:3C:4D:02", "10.77.1.42")}, found, settings);
        QTRY_COMPARE_WITH_TIMEOUT(firstFinished.size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(secondFinished.size(), 1, 10000);
        QCOMPARE(first.Outcomes()[0].result, u"Apply"_s);
        QCOMPARE(second.Outcomes()[0].result, u"another assignment is changing this device"_s);
        QCOMPARE(second.Outcomes()[1].result, u"Apply"_s);
        QCOMPARE(SetNetworkRequests(site.sim).size(), 2);
        for (const CameraInfo &device : found)
            QCOMPARE(search.AnswerOwner(device), nullptr); // both have ended

        PlanApply third(search, nullptr, adapter);
        QSignalSpy thirdFinished(&third, &PlanApply::finished);
        third.Start({row("00:1A:2B:3C:4D:01", "10.77.1.51")}, found, settings);
        QTRY_COMPARE_WITH_TIMEOUT(thirdFinished.size(), 1, 10000);
        QCOMPARE(third.Outcomes()[0].result, u"Apply"_s);
    }
};

QTEST_GUILESS_MAIN(TestPlanApply)
#include "tst_planapply.moc"
