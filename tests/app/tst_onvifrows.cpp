// ONVIF rows in the main window beside the two families: how they are listed, told apart, read
// and exported, and that no command for them ever takes the other families' ways.

#include "CHalvetranoDlg.h"
#include "DeviceListFormat.h"
#include "DeviceListMenu.h"
#include "DialogHarness.h"
#include "TestOnvifDevices.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace TestNetwork;
using namespace Qt::Literals::StringLiterals;
using D = CCorvaneDlg;

namespace {
const QByteArray kOwnMac = "00:1A:2B:3C:4D:01";

QStringList ownAndVendor()
{
    return {u"--device"_s, u"mac=00:1A:2B:3C:4D:01,ip=10.77.1.21,gateway=10.77.1.1,dns=10.77.1.1"_s, u"--device"_s,
            u"family=vendor,mac=5C:F2:07:00:10:01,ip=10.77.1.2,mediaPort=8001,userId="_s};
}

void searchAll(DialogHarness &h, int count)
{
    h.dialog->OnBnClickedSearch();
    QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), count, 6000);
    QTRY_VERIFY_WITH_TIMEOUT(!h.dialog->m_pVendorDlg->m_bSearching && !h.dialog->m_pWaitDlg->isVisible(), 8000);
}

// Three ONVIF devices, one of each login kind, with the default login admin/admin.
QStringList onvifDevices()
{
    return {u"--device"_s,
            u"family=onvif,mac=02:20:00:00:00:01,ip=10.77.1.41,gateway=10.77.1.1,onvifAuth=both"_s,
            u"--device"_s,
            u"family=onvif,mac=02:20:00:00:00:02,ip=10.77.1.42,gateway=10.77.1.1,onvifAuth=token,clockOffset=3600"_s,
            u"--device"_s,
            u"family=onvif,mac=02:20:00:00:00:03,ip=10.77.1.43,gateway=10.77.1.1,onvifAuth=digest,digestAlgorithms=SHA-"
            u"256 MD5,"
            "rebootNeeded=1,nvtOnly=1"_s};
}

int rowOfIp(const DialogHarness &h, const QString &ip)
{
    for (int row = 0; row < h.list().GetItemCount(); ++row) {
        if (h.list().GetItemText(row, 2) == ip)
            return row;
    }
    return -1;
}

int rowOfNumber(const DialogHarness &h, int number)
{
    for (int row = 0; row < h.list().GetItemCount(); ++row) {
        if (h.list().GetItemText(row, 0) == QString::number(number))
            return row;
    }
    return -1;
}

// A row's number names its device.
int deviceOfRow(const DialogHarness &h, int row)
{
    return h.list().GetItemText(row, 0).toInt() - 1;
}

QString note(const DialogHarness &h, int row, int column, int role = Qt::ToolTipRole)
{
    return h.list().model()->index(row, column).data(role).toString();
}
} // namespace

class TestOnvifRows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void rowsJoinTheListAndSayWhatTheyAre()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownAndVendor()));
        DialogHarness h;
        searchAll(h, 2);
        DeviceSearch &search = h.dialog->m_search;
        QVERIFY(search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:a"_s, u"10.77.1.40"_s)));
        // The own-family device announcing itself over ONVIF too: its own row stands.
        QVERIFY(!search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:b"_s, u"10.77.1.21"_s, u"00-1a-2b-3c-4d-01"_s)));
        QCOMPARE(h.list().GetItemCount(), 3);

        const int row = rowOfNumber(h, 3);
        QVERIFY(row >= 0);
        QCOMPARE(h.list().GetItemText(row, 1), QString());
        QCOMPARE(h.list().GetItemText(row, 2), u"10.77.1.40"_s);
        QCOMPARE(h.list().GetItemText(row, 3), u"NV-200"_s);
        QCOMPARE(h.list().GetItemText(row, 4), u"Acme Cameras"_s);
        QVERIFY(h.dialog->FamilyOfDevice(2) == DeviceFamily::Onvif);
        QVERIFY(note(h, row, 0).contains(u"ONVIF"_s));
        QCOMPARE(note(h, row, 0, Qt::AccessibleDescriptionRole), note(h, row, 0));
        QVERIFY(!note(h, h.rowOf(kOwnMac), 0).contains(u"ONVIF"_s));

        // Found over ONVIF first, then by its own family's search: that answer takes the row.
        QVERIFY(search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:c"_s, u"10.77.1.43"_s, u"02:20:00:00:00:03"_s)));
        QCOMPARE(h.list().GetItemCount(), 4);
        QCOMPARE(h.dialog->AddSearchedDevice(MakeReply("02:20:00:00:00:03", "10.77.1.43")), 1);
        QCOMPARE(h.list().GetItemCount(), 4);
        QCOMPARE(h.list().GetItemText(rowOfNumber(h, 4), 3), u"TC-100"_s);
        QVERIFY(h.dialog->FamilyOfDevice(3) == DeviceFamily::Own);
        QVERIFY(!note(h, rowOfNumber(h, 4), 0).contains(u"ONVIF"_s));

        // Seen again at another address (a Hello, a later round): the row and its flags follow.
        Q_EMIT search.onvifDeviceChanged(MakeOnvifDevice(u"urn:uuid:a"_s, u"10.77.1.21"_s));
        QCOMPARE(h.list().GetItemText(rowOfNumber(h, 3), 2), u"10.77.1.21"_s);
        QVERIFY(note(h, rowOfNumber(h, 3), D::kIpColumn).contains(u"in use twice"_s));
        QVERIFY(note(h, h.rowOf(kOwnMac), D::kIpColumn).contains(u"in use twice"_s));
    }

    void exportNamesTheFamilyAndTheOnvifAddresses()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"list.csv"_s);
        CorvaneServices services;
        services.saveFileName = [&](QWidget *, const QString &) { return path; };
        DialogHarness h(services);
        h.dialog->AddSearchedDevice(MakeReply(kOwnMac.constData()));
        h.dialog->m_search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:a"_s, u"10.77.1.40"_s));
        h.list().SortByColumn(2, false); // the list's order, not the order of arrival
        h.dialog->findChild<DeviceListMenu *>()->ExportList();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<CsvRow> rows = ReadCsv(file.readAll());
        QCOMPARE(rows.size(), 3);
        const qsizetype endpoint = rows[0].cells.indexOf(u"endpoint"_s);
        const qsizetype service = rows[0].cells.indexOf(u"service"_s);
        QVERIFY(endpoint > 0 && service > 0);
        QCOMPARE(rows[1].cells.value(0), u"onvif"_s);
        QCOMPARE(rows[1].cells.value(endpoint), u"urn:uuid:a"_s);
        QCOMPARE(rows[1].cells.value(service), u"http://10.77.1.40/onvif/device_service"_s);
        QCOMPARE(rows[2].cells.value(0), u"own"_s);
        QCOMPARE(rows[2].cells.value(endpoint), QString());
    }

    void aClickWithoutLoginSaysSoWithoutABox()
    {
        DialogHarness h;
        h.dialog->AddSearchedDevice(MakeReply(kOwnMac.constData()));
        h.dialog->m_search.OfferOnvif(MakeOnvifDevice(u"urn:uuid:a"_s, u"10.77.1.40"_s));
        h.dialog->OnNMClickListDevice(rowOfNumber(h, 2));
        QVERIFY(h.messages.isEmpty());
        QCOMPARE(h.text(D::IDC_EDIT_IP), u"10.77.1.40"_s);
        QCOMPARE(h.text(D::IDC_EDIT_MODEL), u"NV-200"_s);
        QCOMPARE(h.text(D::IDC_EDIT_SUBNET), QString());
        auto *mask = static_cast<QLineEdit *>(h.dialog->Control(D::IDC_EDIT_SUBNET));
        QVERIFY(mask->placeholderText().contains(u"User ID and Password"_s));
        QCOMPARE(mask->accessibleDescription(), mask->placeholderText());

        // An own-family row empties the login and the note, as it always did.
        h.setText(D::IDC_EDIT_USERID, u"admin"_s);
        h.dialog->OnNMClickListDevice(rowOfNumber(h, 1));
        QCOMPARE(h.text(D::IDC_EDIT_USERID), QString());
        QCOMPARE(mask->placeholderText(), QString());
    }

    void commandsForOnvifRowsNeverTakeTheOtherFamiliesWays()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownAndVendor()));
        DialogHarness h;
        searchAll(h, 2);
        const qsizetype vendorBefore = ReceivedDatagrams(sim, "vendor"_L1).size();
        // Named like the vendor family, and at an address it may not have a login for: every
        // command fails at once, and nothing reaches the simulator's own or vendor protocol.
        OnvifDevice device = MakeOnvifDevice(u"urn:uuid:a"_s, u"10.77.1.2"_s, u"02:20:00:00:00:09"_s);
        device.name = QString::fromLatin1(VENDOR_MANUFACTURER);
        device.credentialsSafe = false;
        QVERIFY(h.dialog->m_search.OfferOnvif(device));
        const int row = rowOfNumber(h, 3);
        QCOMPARE(h.list().GetItemText(row, 4), u"Halvetrano"_s); // shown: it is no vendor device
        h.list().SetCheck(row, true);
        h.dialog->OnNMClickListDevice(row);
        h.setText(D::IDC_EDIT_IP, u"10.77.1.50"_s);
        h.setText(D::IDC_EDIT_USERID, u"admin"_s);
        h.setText(D::IDC_EDIT_PASSWORD, u"admin"_s);
        h.dialog->OnBnClickedSave();
        QTRY_COMPARE(h.messages, QStringList({u"Failed"_s}));
        h.dialog->OnBnClickedReboot();
        QTRY_COMPARE(h.messages.size(), 3);
        QCOMPARE(h.messages[1], u"IP : 10.77.1.2 / MAC :02:20:00:00:00:09"_s);
        QCOMPARE(h.messages[2], u"Failed"_s);
        h.dialog->OnBnClickedFactoryReset();
        QTRY_COMPARE(h.messages.size(), 4);
        QCOMPARE(h.messages[3], u"Failed"_s);

        QTest::qWait(500); // a stray request would have arrived by now
        QVERIFY(SetNetworkRequests(sim).isEmpty());
        QCOMPARE(ReceivedDatagrams(sim, "vendor"_L1).size(), vendorBefore);
    }

    // Against the simulator's ONVIF devices, one of each login kind.
    void theListEqualsTheSimulatorsDevicesOfAllThreeFamilies()
    {
        DevSim sim;
        QVERIFY(
            sim.Start(ownAndVendor() + onvifDevices()
                      + QStringList{u"--device"_s, u"family=onvif,mac=00:1A:2B:3C:4D:01,ip=10.77.1.45,macScope=1"_s}));
        DialogHarness h;
        searchAll(h, 5);
        QTest::qWait(3000); // the ONVIF rounds' late answers add nothing
        QCOMPARE(h.list().GetItemCount(), 5);
        QSet<QString> onvifIps;
        for (int device = 0; device < 5; ++device) {
            if (h.dialog->FamilyOfDevice(device) == DeviceFamily::Onvif)
                onvifIps << FieldString(h.dialog->m_arrDevices[static_cast<size_t>(device)]->m_CameraInfo.ip_addr);
        }
        QCOMPARE(onvifIps, QSet<QString>({u"10.77.1.41"_s, u"10.77.1.42"_s, u"10.77.1.43"_s}));
        QVERIFY(h.rowOf(kOwnMac) >= 0); // the device announcing itself both ways: its own family's row
    }

    // The own-family device whose MAC ONVIF shows only after a login: once read, its ONVIF row
    // goes, the rows after it move up a number, and a read still running finds its own row.
    void aLoginShowingAListedDeviceLeavesOneRow()
    {
        DevSim sim;
        QVERIFY(sim.Start(ownAndVendor() + onvifDevices().mid(0, 2)
                          + QStringList{u"--device"_s, u"family=onvif,mac=00:1A:2B:3C:4D:01,ip=10.77.1.45"_s}));
        DialogHarness h;
        searchAll(h, 4);
        QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), 4, 6000);
        const int twin = deviceOfRow(h, rowOfIp(h, u"10.77.1.45"_s));
        const int other = deviceOfRow(h, rowOfIp(h, u"10.77.1.41"_s));
        QVERIFY(h.dialog->FamilyOfDevice(twin) == DeviceFamily::Onvif);
        h.list().SortByColumn(2, false);

        h.setText(D::IDC_EDIT_USERID, u"admin"_s);
        h.setText(D::IDC_EDIT_PASSWORD, u"admin"_s);
        h.dialog->OnNMClickListDevice(rowOfIp(h, u"10.77.1.41"_s));
        h.dialog->OnNMClickListDevice(rowOfIp(h, u"10.77.1.45"_s));
        QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), 3, 20000);
        QCOMPARE(rowOfIp(h, u"10.77.1.45"_s), -1);
        QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemText(rowOfIp(h, u"10.77.1.41"_s), 1), u"02:20:00:00:00:01"_s, 20000);

        // Numbers 1 to 3, each naming the device its row shows.
        QSet<int> numbers;
        for (int row = 0; row < 3; ++row) {
            const int device = deviceOfRow(h, row);
            numbers << device + 1;
            QCOMPARE(FieldString(h.dialog->m_arrDevices[static_cast<size_t>(device)]->m_CameraInfo.ip_addr),
                     h.list().GetItemText(row, 2));
        }
        QCOMPARE(numbers, QSet<int>({1, 2, 3}));
        QCOMPARE(deviceOfRow(h, rowOfIp(h, u"10.77.1.41"_s)), other > twin ? other - 1 : other);
        // The clicked row went: its device's own row is selected, with the login just typed.
        QCOMPARE(h.dialog->m_nSelected, deviceOfRow(h, h.rowOf(kOwnMac)));
        QVERIFY(h.list().GetRowState(h.rowOf(kOwnMac)) & RS_SELECTED);
        QCOMPARE(h.text(D::IDC_EDIT_IP), u"10.77.1.21"_s);
        QCOMPARE(h.text(D::IDC_EDIT_PASSWORD), u"admin"_s);
        QCOMPARE(h.messages, QStringList());
    }

    void clickWithLoginFillsTheFieldsAndSaveMovesEachKind_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("newIp");
        QTest::newRow("both logins") << u"10.77.1.41"_s << u"10.77.1.61"_s;
        QTest::newRow("token, clock an hour off") << u"10.77.1.42"_s << u"10.77.1.62"_s;
        QTest::newRow("digest, needs a reboot") << u"10.77.1.43"_s << u"10.77.1.63"_s;
    }

    void clickWithLoginFillsTheFieldsAndSaveMovesEachKind()
    {
        QFETCH(QString, ip);
        QFETCH(QString, newIp);
        DevSim sim;
        QVERIFY(sim.Start(onvifDevices()));
        DialogHarness h;
        searchAll(h, 3);
        h.setText(D::IDC_EDIT_USERID, u"admin"_s);
        h.setText(D::IDC_EDIT_PASSWORD, u"admin"_s);
        h.dialog->OnNMClickListDevice(rowOfIp(h, ip));
        QTRY_COMPARE_WITH_TIMEOUT(h.text(D::IDC_EDIT_SUBNET), u"255.255.255.0"_s, 20000);
        QCOMPARE(h.text(D::IDC_EDIT_GATEWAY), u"10.77.1.1"_s);
        QVERIFY(!h.list().GetItemText(rowOfIp(h, ip), 1).isEmpty()); // the MAC, from the login
        QCOMPARE(h.text(D::IDC_EDIT_USERID), u"admin"_s);

        h.setText(D::IDC_EDIT_IP, newIp);
        h.dialog->OnBnClickedSave();
        QTRY_COMPARE_WITH_TIMEOUT(h.messages, QStringList({u"Apply"_s}), 30000);
        // Without a search, the window's own check finds it there (the one that reboots first
        // answers at its old address), and says nothing in a box.
        QTRY_VERIFY_WITH_TIMEOUT(rowOfIp(h, newIp) >= 0, 90000);
        QCOMPARE(rowOfIp(h, ip), -1);
        QCOMPARE(h.list().GetItemCount(), 3);
        QCOMPARE(h.messages, QStringList({u"Apply"_s}));
        QVERIFY(!h.list().toolTip().contains(u"not found"_s));
        // The next search finds it at its new address.
        bool moved = false;
        for (int search = 0; search < 8 && !moved; ++search) {
            h.dialog->OnBnClickedSearch();
            QTest::qWait(4000);
            moved = rowOfIp(h, newIp) >= 0;
        }
        QVERIFY(moved);
        QCOMPARE(rowOfIp(h, ip), -1);
    }

    // A device that did not move where Save put it is told so, after the rounds it is given.
    void aDeviceNotFoundWhereItWasPutIsToldSo()
    {
        DevSim sim;
        QVERIFY(sim.Start(onvifDevices()));
        DialogHarness h;
        searchAll(h, 3);
        const int device = h.list().GetItemText(rowOfIp(h, u"10.77.1.41"_s), 0).toInt() - 1;
        OnvifMoveCheck &check = h.dialog->m_onvifMoveCheck;
        QSignalSpy finished(&check, &OnvifMoveCheck::finished);
        OnvifSettings wanted;
        wanted.ip = u"10.77.1.99"_s;
        const CNetworkAdapterObj adapter{u"veth1"_s, kHostAddress1, 24, -1};
        QVERIFY(check.Start(adapter, h.dialog->m_onvifDevices[device].device.endpoint, wanted));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 120000);
        QCOMPARE(finished[0][0].toBool(), false);
        QCOMPARE(finished[0][1].toString(), u"not found at 10.77.1.99: answers at 10.77.1.41"_s);
        QVERIFY(!check.IsRunning());

        wanted.ip = u"10.77.1.41"_s; // where it is, named in the other uuid form: found
        QVERIFY(check.Start(adapter, u"uuid:"_s + h.dialog->m_onvifDevices[device].device.endpoint.section(u':', -1),
                            wanted));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 60000);
        QCOMPARE(finished[1][0].toBool(), true);
        QCOMPARE(finished[1][1].toString(), u"found at 10.77.1.41"_s);
    }

    void aWrongPasswordFailsAndRebootAndResetWork()
    {
        // The reset follows the reboot at once: a device that is back at once takes it.
        DevSim sim;
        QVERIFY(sim.Start(onvifDevices() << u"--onvif-reboot-time"_s << u"0"_s));
        DialogHarness h;
        searchAll(h, 3);
        const int row = rowOfIp(h, u"10.77.1.41"_s);
        h.dialog->OnNMClickListDevice(row);
        h.setText(D::IDC_EDIT_USERID, u"admin"_s);
        h.setText(D::IDC_EDIT_PASSWORD, u"wrong"_s);
        h.dialog->OnBnClickedSave();
        QTRY_COMPARE_WITH_TIMEOUT(h.messages, QStringList({u"Failed. login failed"_s}), 20000);

        h.setText(D::IDC_EDIT_PASSWORD, u"admin"_s);
        h.list().SetCheck(row, true);
        h.dialog->OnBnClickedReboot();
        QTRY_COMPARE_WITH_TIMEOUT(h.messages.size(), 3, 20000);
        QVERIFY(h.messages[1].startsWith(u"IP : 10.77.1.41 / MAC :"_s));
        QCOMPARE(h.messages[2], u"Apply"_s);
        h.dialog->OnBnClickedFactoryReset();
        QTRY_COMPARE_WITH_TIMEOUT(h.messages.size(), 4, 40000);
        QCOMPARE(h.messages[3], u"Apply"_s);

        // A row that goes while the first box is open (a login showed it listed twice): each
        // device ticked when Reboot was pressed is still rebooted, and no other.
        h.messages.clear();
        h.list().SetCheck(rowOfIp(h, u"10.77.1.42"_s), true);
        bool gone = false;
        h.whileBoxShown = [&] {
            if (!std::exchange(gone, true))
                h.dialog->ForgetDevice(deviceOfRow(h, rowOfIp(h, u"10.77.1.41"_s)));
        };
        h.dialog->OnBnClickedReboot();
        QTRY_COMPARE_WITH_TIMEOUT(h.messages.size(), 3, 40000);
        QCOMPARE(h.list().GetItemCount(), 2);
        const QStringList results = h.messages[2].split(u'\n');
        QCOMPARE(results.size(), 2);
        for (const QString &result : results)
            QVERIFY2(result.endsWith(u"  Apply"_s), qPrintable(result));
        QVERIFY(results.join(u' ').contains(u"IP : 10.77.1.41 /"_s));
        QVERIFY(results.join(u' ').contains(u"IP : 10.77.1.42 /"_s));
    }

    void aDeviceNamingAForeignAddressGetsNoLogin()
    {
        // It names the host's other side as its service; a harvester there hears nothing.
        QTcpServer harvester;
        QVERIFY(harvester.listen(QHostAddress(kHostAddress2), 80));
        DevSim sim;
        QVERIFY(
            sim.Start({u"--device"_s, u"family=onvif,mac=02:20:00:00:00:07,ip=10.77.1.47,foreignXAddr=10.77.2.1"_s}));
        DialogHarness h;
        searchAll(h, 1);
        h.setText(D::IDC_EDIT_USERID, u"admin"_s);
        h.setText(D::IDC_EDIT_PASSWORD, u"admin"_s);
        h.dialog->OnNMClickListDevice(0);
        h.dialog->OnBnClickedSave();
        QTRY_COMPARE_WITH_TIMEOUT(h.messages, QStringList({u"Failed"_s}), 20000);
        QTest::qWait(1000);
        QVERIFY(!harvester.hasPendingConnections());
    }
};

QTEST_MAIN(TestOnvifRows)
#include "tst_onvifrows.moc"
