// The device list's "Export list..." and "Assign addresses to ticked devices...", against the
// simulator, beside corvanectl.

#include "AssignAddressesDlg.h"
#include "CHalvetranoDlg.h"
#include "DeviceListMenu.h"
#include "DialogHarness.h"
#include "ProgramRun.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstring>

using namespace TestNetwork;
using D = CCorvaneDlg;
using A = AssignAddressesDlg;

namespace {
QStringList ownDevices(const QList<std::pair<const char *, const char *>> &macAndIp, const char *odd = nullptr)
{
    QStringList arguments;
    for (const auto &[mac, ip] : macAndIp) {
        const char *password = odd && std::strcmp(mac, odd) == 0 ? "other" : "secret";
        arguments << QStringLiteral("--device")
                  << QStringLiteral("mac=%1,ip=%2,password=%3")
                         .arg(QLatin1String(mac), QLatin1String(ip), QLatin1String(password));
    }
    return arguments;
}

DeviceListMenu &menuOf(const DialogHarness &h)
{
    return *h.dialog->findChild<DeviceListMenu *>();
}

void searchOwn(DialogHarness &h, int count)
{
    h.dialog->OnBnClickedSearch();
    QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), count, 6000);
}

// Ticks the devices, opens the assign dialog through the menu and fills it in.
AssignAddressesDlg *openAssign(DialogHarness &h, const QList<QByteArray> &macs, const char *first)
{
    for (const QByteArray &mac : macs)
        h.list().SetCheck(h.rowOf(mac), true);
    DeviceListMenu &menu = menuOf(h);
    menu.Popup(QPoint(), -1);
    menu.Menu()->hide();
    if (!menu.Action(QStringLiteral("assignAddresses"))->isEnabled())
        return nullptr;
    menu.Action(QStringLiteral("assignAddresses"))->trigger();
    auto *assign = h.dialog->findChild<AssignAddressesDlg *>();
    if (!assign)
        return nullptr;
    assign->findChild<QLineEdit *>(QStringLiteral("firstIp"))->setText(QLatin1String(first));
    assign->findChild<QLineEdit *>(QStringLiteral("userId"))->setText(QStringLiteral("admin"));
    assign->findChild<QLineEdit *>(QStringLiteral("password"))->setText(QStringLiteral("secret"));
    return assign;
}

QStringList planColumn(const AssignAddressesDlg &assign, int column)
{
    QStringList texts;
    const auto *plan = assign.findChild<QTreeWidget *>(QStringLiteral("plan"));
    for (int row = 0; row < plan->topLevelItemCount(); ++row)
        texts << plan->topLevelItem(row)->text(column);
    return texts;
}

bool finished(const AssignAddressesDlg &assign)
{
    return assign.findChild<QPushButton *>(QStringLiteral("cancel"))->text() == QLatin1String("Close");
}

// Beyond the time an assignment waits for a device's answer.
constexpr int kLongerThanAnAnswerWaitMs = 4500;

CameraInfo at(const char *mac, const char *ip)
{
    return MakeReply(mac, ip);
}
} // namespace

class TestExportAssign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void exportWritesWhatCorvanectlPrintsInListOrder()
    {
        DevSim sim;
        QVERIFY(
            sim.Start(ownDevices({{"00:1A:2B:3C:4D:01", "10.77.1.21"},
                                  {"00:1A:2B:3C:4D:02", "10.77.1.22"},
                                  {"00:1A:2B:3C:4D:03", "192.168.0.23"}})
                      + QStringList{QStringLiteral("--device"),
                                    QStringLiteral("family=vendor,mac=5C:F2:07:00:30:01,ip=%1,mediaPort=8001,userId=")
                                        .arg(kDeviceAddress1)}));
        const ProgramRun ctl = RunProgram(QStringLiteral(CORVANECTL),
                                          {QStringLiteral("search"), QStringLiteral("-a"), QStringLiteral("veth1"),
                                           QStringLiteral("-o"), QStringLiteral("csv")});
        QCOMPARE(ctl.exitCode, 0);
        const QList<QByteArray> ctlLines = ctl.out.split('\n');
        QCOMPARE(ctlLines.size(), 6); // header, four devices, the last line feed

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("site.csv"));
        CorvaneServices services;
        QString suggested;
        services.saveFileName = [&](QWidget *, const QString &name) {
            suggested = name;
            return path;
        };
        DialogHarness h(services);
        h.dialog->OnBnClickedSearch();
        QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), 4, 6000);
        h.list().SortByColumn(2, false); // the list's own order, not the order of the answers

        menuOf(h).ExportList();
        QCOMPARE(suggested, QStringLiteral("corvane-devices.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray expected = ctlLines.first() + '\n';
        for (int row = 0; row < h.list().GetItemCount(); ++row) {
            const QByteArray mac = h.list().GetItemText(row, D::kMacColumn).toLatin1();
            for (const QByteArray &line : ctlLines) {
                if (line.contains(',' + mac + ','))
                    expected += line + '\n';
            }
        }
        QCOMPARE(file.readAll(), expected);
        QVERIFY(h.messages.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("site.csv")}));
    }

    void aFailedExportSaysSoAndLeavesNoFile()
    {
        if (UnderWine())
            QSKIP("needs a folder that refuses new files (its mode, or /proc), which Windows has not");
        // Root writes into folders whose mode forbids it; /proc takes no new file from anyone.
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const QString folder = QFileInfo(dir.path()).isWritable() ? QStringLiteral("/proc") : dir.path();
        const QString path = folder + QStringLiteral("/corvane-devices.csv");
        CorvaneServices services;
        services.saveFileName = [&](QWidget *, const QString &) { return path; };
        DialogHarness h(services);
        h.dialog->AddSearchedDevice(at("00:00:00:00:00:0A", "10.77.1.20"));
        menuOf(h).ExportList();
        QCOMPARE(h.messages.size(), 1);
        QVERIFY2(h.messages.first().startsWith(QStringLiteral("The list could not be written to ") + path + ": "),
                 qPrintable(h.messages.first()));
        QVERIFY(!QFile::exists(path));
        QVERIFY(QDir(folder).entryList({QStringLiteral("corvane-devices.csv*")}).isEmpty());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        services.saveFileName = [](QWidget *, const QString &) { return QString(); }; // the user chose none
        DialogHarness none(services);
        none.dialog->AddSearchedDevice(at("00:00:00:00:00:0A", "10.77.1.20"));
        menuOf(none).ExportList();
        QVERIFY(none.messages.isEmpty());
    }

    void planCountsUpSkippingAddressesInUse()
    {
        const QList<CameraInfo> listed{at("A", "10.77.1.41"), at("B", "10.77.1.20"), at("C", "10.77.1.43"),
                                       at("D", "10.77.1.44"), at("E", "10.77.1.44")};
        const QList<CameraInfo> ticked{listed[1], listed[2], listed[3], listed[4]};
        using Plan = QList<std::optional<QString>>;
        // .41 is A's; .43 is C's, so not D's; D and E share .44: neither gets it.
        QCOMPARE(A::PlanAddresses(QStringLiteral("10.77.1.40"), QStringLiteral("255.255.255.0"), ticked, listed),
                 Plan({QStringLiteral("10.77.1.40"), QStringLiteral("10.77.1.42"), QStringLiteral("10.77.1.45"),
                       QStringLiteral("10.77.1.46")}));
        // A device's own address may come back to it.
        QCOMPARE(A::PlanAddresses(QStringLiteral("10.77.1.43"), QStringLiteral("255.255.255.0"), {listed[2]}, listed),
                 Plan({QStringLiteral("10.77.1.43")}));
        // The network's own address and its broadcast address are no device's; the network ends.
        QCOMPARE(A::PlanAddresses(QStringLiteral("10.77.1.253"), QStringLiteral("255.255.255.0"), ticked, listed),
                 Plan({QStringLiteral("10.77.1.253"), QStringLiteral("10.77.1.254"), std::nullopt, std::nullopt}));
        QCOMPARE(A::PlanAddresses(QStringLiteral("10.77.1.0"), QStringLiteral("255.255.255.252"), ticked, {}),
                 Plan({QStringLiteral("10.77.1.1"), QStringLiteral("10.77.1.2"), std::nullopt, std::nullopt}));
        QCOMPARE(A::PlanAddresses(QStringLiteral("10.77.1.255"), QStringLiteral("255.255.0.0"), {listed[0]}, {}),
                 Plan({QStringLiteral("10.77.1.255")}));
        for (const char *mask : {"255.0.255.0", "", "24", "255.255.255.256"})
            QVERIFY(A::PlanAddresses(QStringLiteral("10.77.1.40"), QLatin1String(mask), ticked, listed).isEmpty());
        for (const char *first : {"10.77.1", "", "0.0.0.0", "10.77.1.040x"})
            QVERIFY(A::PlanAddresses(QLatin1String(first), QStringLiteral("255.255.255.0"), ticked, listed).isEmpty());
    }

    void applyIsOfferedOnlyForAUsablePlan()
    {
        DialogHarness h;
        h.dialog->AddSearchedDevice(at("00:00:00:00:00:0A", "10.77.1.20"));
        h.dialog->AddSearchedDevice(at("00:00:00:00:00:0B", "10.77.1.21"));
        AssignAddressesDlg *assign = openAssign(h, {"00:00:00:00:00:0A", "00:00:00:00:00:0B"}, "10.77.1.254");
        QVERIFY(assign);
        auto *apply = assign->findChild<QPushButton *>(QStringLiteral("apply"));
        const auto field = [assign](const char *name) { return assign->findChild<QLineEdit *>(QLatin1String(name)); };
        QVERIFY(apply->isEnabled()); // .254 for the first; the second is left as it is
        QCOMPARE(planColumn(*assign, A::ColumnNewIp), QStringList({"10.77.1.254", ""}));
        field("gateway")->setText(QStringLiteral("10.77.1"));
        QVERIFY(!apply->isEnabled());
        field("gateway")->setText(QString());
        field("mask")->setText(QStringLiteral("255.0.255.0"));
        QVERIFY(!apply->isEnabled());
        field("mask")->setText(QStringLiteral("255.255.255.0"));
        field("firstIp")->setText(QStringLiteral("10.77.1.255"));
        QVERIFY(!apply->isEnabled()); // no address left for either
        field("firstIp")->setText(QStringLiteral("10.77.1.30"));
        QVERIFY(apply->isEnabled());
        QVERIFY(h.messages.isEmpty());
    }

    void threeTickedDevicesGetConsecutiveFreeAddresses()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownDevices({{"00:1A:2B:3C:4D:01", "10.77.1.21"},
                                      {"00:1A:2B:3C:4D:02", "10.77.1.22"},
                                      {"00:1A:2B:3C:4D:03", "10.77.1.23"},
                                      {"00:1A:2B:3C:4D:04", "10.77.1.41"}})));
        DialogHarness h;
        searchOwn(h, 4);
        h.list().SortByColumn(1, false); // list order: 04, 03, 02, 01
        AssignAddressesDlg *assign = openAssign(h, {"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:03"},
                                                "10.77.1.40");
        QVERIFY(assign);
        QVERIFY(assign->isVisible());
        QCOMPARE(assign->windowModality(), Qt::WindowModal);
        QCOMPARE(assign->findChild<QLineEdit *>(QStringLiteral("mask"))->text(), QStringLiteral("255.255.255.0"));
        QCOMPARE(planColumn(*assign, A::ColumnMac),
                 QStringList({"00:1A:2B:3C:4D:03", "00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:01"}));
        QCOMPARE(planColumn(*assign, A::ColumnNewIp), QStringList({"10.77.1.40", "10.77.1.42", "10.77.1.43"}));
        QTest::qWait(200);
        QVERIFY(SetNetworkRequests(sim).isEmpty()); // the plan is only shown

        assign->findChild<QPushButton *>(QStringLiteral("apply"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(*assign), 15000);
        QCOMPARE(planColumn(*assign, A::ColumnResult), QStringList({"Apply", "Apply", "Apply"}));
        QCOMPARE(planColumn(*assign, A::ColumnCheck),
                 QStringList({"found at 10.77.1.40", "found at 10.77.1.42", "found at 10.77.1.43"}));
        QCOMPARE(assign->findChild<QProgressBar *>()->value(), 3);
        QCOMPARE(SetNetworkRequests(sim).size(), 3);
        // The main list shows what the check found.
        QCOMPARE(h.list().GetItemCount(), 4);
        QCOMPARE(h.list().GetItemText(h.rowOf("00:1A:2B:3C:4D:03"), D::kIpColumn), QStringLiteral("10.77.1.40"));
        QCOMPARE(h.list().GetItemText(h.rowOf("00:1A:2B:3C:4D:01"), D::kIpColumn), QStringLiteral("10.77.1.43"));
        QVERIFY(h.messages.isEmpty());

        QTest::keyClick(assign, Qt::Key_Escape); // nothing runs: Escape closes it
        QTRY_VERIFY(!h.dialog->findChild<AssignAddressesDlg *>());
    }

    void aWrongPasswordFailsOneRowAndNotTheOthers()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownDevices({{"00:1A:2B:3C:4D:01", "10.77.1.21"},
                                      {"00:1A:2B:3C:4D:02", "10.77.1.22"},
                                      {"00:1A:2B:3C:4D:03", "10.77.1.23"}},
                                     "00:1A:2B:3C:4D:02")));
        DialogHarness h;
        searchOwn(h, 3);
        AssignAddressesDlg *assign = openAssign(h, {"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:03"},
                                                "10.77.1.60");
        QVERIFY(assign);
        assign->findChild<QPushButton *>(QStringLiteral("apply"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(*assign), 15000);
        QCOMPARE(planColumn(*assign, A::ColumnResult), QStringList({"Apply", "Failed. login failed", "Apply"}));
        QCOMPARE(planColumn(*assign, A::ColumnCheck), QStringList({"found at 10.77.1.60", "", "found at 10.77.1.62"}));
        QCOMPARE(h.list().GetItemText(h.rowOf("00:1A:2B:3C:4D:02"), D::kIpColumn), QStringLiteral("10.77.1.22"));
    }

    void escapeAfterTheFirstDeviceSendsNoSecondRequest()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownDevices({{"00:1A:2B:3C:4D:01", "10.77.1.21"},
                                      {"00:1A:2B:3C:4D:02", "10.77.1.22"},
                                      {"00:1A:2B:3C:4D:03", "10.77.1.23"}})));
        DialogHarness h;
        searchOwn(h, 3);
        AssignAddressesDlg *assign = openAssign(h, {"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:03"},
                                                "10.77.1.70");
        QVERIFY(assign);
        auto *plan = assign->findChild<QTreeWidget *>(QStringLiteral("plan"));
        // The moment the first result is shown, as a person would press Escape on seeing it.
        connect(plan, &QTreeWidget::itemChanged, assign, [assign, plan](QTreeWidgetItem *item, int column) {
            if (item == plan->topLevelItem(0) && column == A::ColumnResult
                && item->text(column) == QLatin1String("Apply"))
                QTest::keyClick(assign, Qt::Key_Escape);
        });
        assign->findChild<QPushButton *>(QStringLiteral("apply"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(*assign), 15000);
        QCOMPARE(planColumn(*assign, A::ColumnResult), QStringList({"Apply", "cancelled", "cancelled"}));
        QTest::qWait(300);
        QCOMPARE(SetNetworkRequests(sim).size(), 1);
        QVERIFY(assign->isVisible());         // Escape stopped the run, not the window
        QCOMPARE(h.list().GetItemCount(), 3); // nothing was checked: the list is as it was
    }

    // The window reports a Save's answer from the selected device; the assignment's answers
    // are the dialog's alone, even from the device the window has selected.
    void theSelectedDeviceAmongTheTickedShowsNoBox()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownDevices({{"00:1A:2B:3C:4D:01", "10.77.1.21"}, {"00:1A:2B:3C:4D:02", "10.77.1.22"}})));
        DialogHarness h;
        h.whileBoxShown = [] { QTest::qWait(kLongerThanAnAnswerWaitMs); }; // a person reading it
        searchOwn(h, 2);
        h.dialog->OnNMClickListDevice(h.rowOf("00:1A:2B:3C:4D:01"));
        AssignAddressesDlg *assign = openAssign(h, {"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02"}, "10.77.1.120");
        QVERIFY(assign);
        assign->findChild<QPushButton *>(QStringLiteral("apply"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(*assign), 20000);
        QCOMPARE(planColumn(*assign, A::ColumnResult), QStringList({"Apply", "Apply"}));
        QCOMPARE(planColumn(*assign, A::ColumnCheck), QStringList({"found at 10.77.1.120", "found at 10.77.1.121"}));
        QTest::qWait(200);
        QVERIFY(h.messages.isEmpty());
    }

    // A box the window shows for an answer that came during an assignment (a Save's, late) is
    // open while the person reads it; the assignment's answers keep coming meanwhile.
    void aBoxOverTheWindowDoesNotHoldUpTheAssignment()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownDevices({{"00:1A:2B:3C:4D:01", "10.77.1.21"},
                                      {"00:1A:2B:3C:4D:02", "10.77.1.22"},
                                      {"00:1A:2B:3C:4D:03", "10.77.1.23"}})));
        DialogHarness h;
        h.whileBoxShown = [] { QTest::qWait(kLongerThanAnAnswerWaitMs); };
        searchOwn(h, 3);
        h.dialog->OnNMClickListDevice(h.rowOf("00:1A:2B:3C:4D:03")); // not ticked
        AssignAddressesDlg *assign = openAssign(h, {"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02"}, "10.77.1.130");
        QVERIFY(assign);
        CameraInfo answer = at("00:1A:2B:3C:4D:03", "10.77.1.23");
        answer.header.cmd = CMD_SET_NETWORK;
        answer.header.result = RESULT_OK;
        // Queued before the first device's answer, so both are handed over in that order.
        SendToLocalPort(QByteArray(reinterpret_cast<const char *>(&answer), sizeof answer), REPLY_PORT);
        assign->findChild<QPushButton *>(QStringLiteral("apply"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(finished(*assign), 20000);
        QCOMPARE(planColumn(*assign, A::ColumnResult), QStringList({"Apply", "Apply"}));
        QCOMPARE(planColumn(*assign, A::ColumnCheck), QStringList({"found at 10.77.1.130", "found at 10.77.1.131"}));
        QTRY_COMPARE(h.messages, QStringList({QStringLiteral("Apply")})); // the window's own report
    }

    void theDialogIsReachedByKeyboard()
    {
        DialogHarness h;
        h.dialog->AddSearchedDevice(at("00:00:00:00:00:0A", "10.77.1.20"));
        h.dialog->AddSearchedDevice(at("00:00:00:00:00:0B", "10.77.1.21"));
        h.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
        QMenu *menu = menuOf(h).Menu();

        h.list().setFocus();
        QTest::keyClick(&h.list(), Qt::Key_Menu);
        QTRY_VERIFY(menu->isVisible());
        QTest::keyClick(menu, Qt::Key_A); // Tick all
        QTRY_VERIFY(!menu->isVisible());
        QTest::keyClick(&h.list(), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(menu->isVisible());
        QTest::keyClick(menu, Qt::Key_S); // Assign addresses...
        QTRY_VERIFY(h.dialog->findChild<AssignAddressesDlg *>());
        AssignAddressesDlg *assign = h.dialog->findChild<AssignAddressesDlg *>();
        QVERIFY(QTest::qWaitForWindowExposed(assign));

        QStringList order;
        QWidget *widget = assign->findChild<QLineEdit *>(QStringLiteral("firstIp"));
        widget->setFocus();
        QTest::keyClicks(widget, QStringLiteral("10.77.1.40")); // Apply is offered once the plan stands
        for (int i = 0; i < 9; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order,
                 QStringList({"firstIp", "mask", "gateway", "dns", "userId", "password", "plan", "apply", "cancel"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!h.dialog->findChild<AssignAddressesDlg *>());
        QVERIFY(h.dialog->isVisible());
    }
};

QTEST_MAIN(TestExportAssign)
#include "tst_exportassign.moc"
