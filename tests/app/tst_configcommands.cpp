#include "CHalvetranoDlg.h"
#include "CaptureStdout.h"
#include "DialogHarness.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstring>

using namespace TestNetwork;
using D = CCorvaneDlg;

namespace {
const QByteArray kOwnMac = "00:1A:2B:3C:4D:01";
const QByteArray kVendorMac = "5C:F2:07:00:10:01";
const QByteArray kVendorMac2 = "5C:F2:07:00:10:02";

QStringList devices()
{
    return {QStringLiteral("--device"),
            QStringLiteral("mac=00:1A:2B:3C:4D:01,ip=10.77.1.21,gateway=10.77.1.1,dns=10.77.1.1,password=secret"),
            QStringLiteral("--device"),
            QStringLiteral("family=vendor,mac=5C:F2:07:00:10:01,ip=10.77.1.2,mediaPort=8001,userId=,password=secret"),
            QStringLiteral("--device"),
            QStringLiteral("family=vendor,mac=5C:F2:07:00:10:02,ip=10.77.1.2,mediaPort=8002,userId=,password=secret"),
            QStringLiteral("--device"),
            QStringLiteral("family=vendor,mac=5C:F2:07:00:10:03,ip=10.77.1.2,mediaPort=8003,userId=,password=secret")};
}

QByteArray bytesOf(const CameraInfo &info)
{
    return QByteArray(reinterpret_cast<const char *>(&info), sizeof info);
}

// Searches and waits until every simulated device is listed and the search is over.
void searchAll(DialogHarness &h, int count)
{
    h.dialog->OnBnClickedSearch();
    QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), count, 6000);
    // The wait window may have gone early: a network change's end hides it too.
    QTRY_VERIFY_WITH_TIMEOUT(!h.dialog->m_pVendorDlg->m_bSearching && !h.dialog->m_pWaitDlg->isVisible(), 8000);
}

void select(DialogHarness &h, const QByteArray &mac)
{
    const int row = h.rowOf(mac);
    QVERIFY(row >= 0);
    h.dialog->OnNMClickListDevice(row);
}

// Vendor devices here have an empty user ID, as a login from a checked row other than the
// selected one uses the user ID the search found: none.
void typeSettings(DialogHarness &h, const char *ip, const char *password, const char *userId = "admin")
{
    h.setText(D::IDC_EDIT_IP, QLatin1String(ip));
    h.setText(D::IDC_EDIT_SUBNET, QStringLiteral("255.255.0.0"));
    h.setText(D::IDC_EDIT_GATEWAY, QStringLiteral("10.77.1.254"));
    h.setText(D::IDC_EDIT_DNS, QStringLiteral("10.77.1.253"));
    h.setText(D::IDC_EDIT_WEBPORT, QStringLiteral("8081"));
    h.setText(D::IDC_EDIT_USERID, QLatin1String(userId));
    h.setText(D::IDC_EDIT_PASSWORD, QLatin1String(password));
}

// The stored record of the device selected last.
const CameraInfo &stored(const DialogHarness &h)
{
    return h.dialog->m_arrDevices[static_cast<size_t>(h.dialog->m_nSelected)]->m_CameraInfo;
}
} // namespace

class TestConfigCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void saveToAnOwnFamilyDevice()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 4);
        select(h, kOwnMac);
        const CameraInfo before = stored(h);
        typeSettings(h, "10.77.1.50", "secret");
        QTest::mouseClick(h.dialog->m_btnSave, Qt::LeftButton);

        // What must be on the wire, built here from the device's own record.
        CameraInfo expected = before;
        expected.header.cmd = CMD_SET_NETWORK;
        std::strcpy(expected.ip_addr, "10.77.1.50");
        std::strcpy(expected.subnet_mask, "255.255.0.0");
        std::strcpy(expected.gateway, "10.77.1.254");
        std::strcpy(expected.dns, "10.77.1.253");
        expected.web_port = 8081;
        expected.dhcp = 0;
        std::strcpy(expected.header.user_id, "admin");
        const QByteArray digest = QCryptographicHash::hash(QByteArray("secret", 7), QCryptographicHash::Md5);
        std::memcpy(expected.header.pass_wd, digest.constData(), 16);

        QTRY_COMPARE(SetNetworkRequests(sim).size(), 1);
        const QByteArray request = SetNetworkRequests(sim).first();
        QCOMPARE(request.toHex(), bytesOf(expected).left(371).toHex());
        // The engine a command line uses builds the same bytes from the found record.
        NetworkEdits edits = EditsOf(before);
        edits.ipAddress = QStringLiteral("10.77.1.50");
        edits.subnetMask = QStringLiteral("255.255.0.0");
        edits.gateway = QStringLiteral("10.77.1.254");
        edits.dns = QStringLiteral("10.77.1.253");
        edits.webPort = 8081;
        edits.userId = QStringLiteral("admin");
        edits.password = QStringLiteral("secret");
        QCOMPARE(request.toHex(), bytesOf(MakeSetNetworkRequest(before, edits)).left(371).toHex());
        QCOMPARE(sim.Log().last().value(QLatin1String("from")).toString(), kHostAddress1);
        QCOMPARE(sim.Log().last().value(QLatin1String("port")).toInt(), 40013);

        QTRY_COMPARE(h.messages, QStringList({QStringLiteral("Apply")}));
        QCOMPARE(h.dialog->m_bResultShown, 1);
        QCOMPARE(bytesOf(stored(h)), bytesOf(before)); // the stored record is as it was

        searchAll(h, 4);
        QCOMPARE(h.list().GetItemText(h.rowOf(kOwnMac), 2), QStringLiteral("10.77.1.50"));
    }

    void theDeviceJudgesTheSettings_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "10.77.1.51"
                                        << "wrong"
                                        << "Failed. login failed";
        QTest::newRow("invalid address") << "10.77.1.300"
                                         << "secret"
                                         << "Failed. Invalid address";
    }

    void theDeviceJudgesTheSettings()
    {
        QFETCH(QString, ip);
        QFETCH(QString, password);
        QFETCH(QString, message);
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 4);
        select(h, kOwnMac);
        typeSettings(h, ip.toLatin1().constData(), password.toLatin1().constData());
        h.dialog->OnBnClickedSave();
        QTRY_COMPARE(h.messages, QStringList({message}));
    }

    void dhcpStillSendsTheAddressFields()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 4);
        select(h, kOwnMac);
        typeSettings(h, "10.77.1.52", "");
        QTest::mouseClick(h.dialog->Control(D::IDC_RADIO_DHCP), Qt::LeftButton);
        QCOMPARE(h.dialog->m_nDhcp, 1);
        QVERIFY(!h.dialog->Control(D::IDC_EDIT_DNS)->isEnabled());
        QCOMPARE(h.text(D::IDC_EDIT_IP), QStringLiteral("10.77.1.52"));
        h.dialog->OnBnClickedSave();

        QTRY_COMPARE(SetNetworkRequests(sim).size(), 1);
        const CameraInfo request = FromDatagram(SetNetworkRequests(sim).first());
        QCOMPARE(request.dhcp, 1);
        QCOMPARE(ReadText(request.ip_addr), QByteArray("10.77.1.52"));
        QCOMPARE(QByteArray(request.header.pass_wd, 16).toHex(), QByteArray("93b885adfe0da089cdf634904fd59f71"));

        QTest::mouseClick(h.dialog->Control(D::IDC_RADIO_STATIC), Qt::LeftButton);
        QCOMPARE(h.dialog->m_nDhcp, 0);
        QVERIFY(h.dialog->Control(D::IDC_EDIT_DNS)->isEnabled());
    }

    void nothingIsSentForABadWebPortOrWithoutAdapter()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 4);
        select(h, kOwnMac);
        const QByteArray before = bytesOf(stored(h));
        typeSettings(h, "10.77.1.53", "secret");

        h.setText(D::IDC_EDIT_WEBPORT, QStringLiteral("80x"));
        h.dialog->OnBnClickedSave();
        QCOMPARE(h.messages, QStringList({QStringLiteral("Please enter an integer.")}));

        h.setText(D::IDC_EDIT_WEBPORT, QString::number(80 + 65536)); // keeps its low 16 bits
        h.dialog->m_comboAdapter->setCurrentIndex(-1);
        h.dialog->OnBnClickedSave();
        QCOMPARE(h.messages.size(), 2);
        QCOMPARE(bytesOf(stored(h)), before);
        QTest::qWait(300);
        QCOMPARE(SetNetworkRequests(sim).size(), 0);

        h.dialog->m_comboAdapter->setCurrentIndex(
            h.dialog->m_comboAdapter->findText(QStringLiteral("veth1: 10.77.1.1")));
        h.setText(D::IDC_EDIT_IP, QString(40, QLatin1Char('1')));
        h.dialog->OnBnClickedSave();
        QTRY_COMPARE(SetNetworkRequests(sim).size(), 1);
        const CameraInfo request = FromDatagram(SetNetworkRequests(sim).first());
        QCOMPARE(request.web_port, 80);
        QCOMPARE(ReadText(request.ip_addr), QByteArray(31, '1')); // cut to the field
    }

    void saveToAVendorFamilyDevice()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices()));
        DialogHarness h;
        searchAll(h, 4);
        select(h, kVendorMac);
        const QByteArray before = bytesOf(stored(h));
        typeSettings(h, "10.77.1.60", "wrong", "");
        h.dialog->OnBnClickedSave();
        QCOMPARE(h.messages, QStringList({QStringLiteral("Failed")}));
        QCOMPARE(h.dialog->m_pVendorDlg->m_strHostIp, kHostAddress1);

        h.setText(D::IDC_EDIT_PASSWORD, QStringLiteral("secret"));
        h.dialog->OnBnClickedSave();
        QCOMPARE(h.messages.last(), QStringLiteral("Apply"));
        QCOMPARE(bytesOf(stored(h)), before);

        searchAll(h, 4);
        QCOMPARE(h.list().GetItemText(h.rowOf(kVendorMac), 2), QStringLiteral("10.77.1.60"));
    }

    void aNonAsciiPasswordReachesTheVendorLibraryAsUtf8()
    {
        // The library's login proof is over UTF-8: the ANSI code page (Windows) must not come in.
        const QString password = QStringLiteral("Grüße-€-密码");
        DevSim sim;
        QVERIFY(sim.Start(
            {QStringLiteral("--reboot-time"), QStringLiteral("20000"), QStringLiteral("--device"),
             QStringLiteral("family=vendor,mac=5C:F2:07:00:10:01,ip=10.77.1.2,mediaPort=8001,userId=,password=")
                 + password}));
        DialogHarness h;
        searchAll(h, 1);
        select(h, kVendorMac);
        typeSettings(h, "10.77.1.2", "", "");
        h.setText(D::IDC_EDIT_PASSWORD, password);
        h.dialog->OnBnClickedSave();
        QCOMPARE(h.messages, QStringList({QStringLiteral("Apply")}));

        // The reboot's login says how it went on standard output only.
        h.list().SetCheck(h.rowOf(kVendorMac), true);
        const QByteArray output = CaptureStdout([&] { h.dialog->OnBnClickedReboot(); });
        QVERIFY2(output.contains("login success!\n"), output.constData());
        QVERIFY(!output.contains("password error"));
    }

    void rebootShowsEveryCheckedRowAndActsOnTheVendorOnes()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices() + QStringList{QStringLiteral("--reboot-time"), QStringLiteral("20000")}));
        DialogHarness h;
        searchAll(h, 4);
        for (const QByteArray &mac : {kOwnMac, kVendorMac, kVendorMac2})
            h.list().SetCheck(h.rowOf(mac), true);
        select(h, kOwnMac);
        h.setText(D::IDC_EDIT_PASSWORD, QStringLiteral("secret"));
        h.dialog->OnBnClickedReboot();

        QStringList expected;
        for (int row = 0; row < h.list().GetItemCount(); ++row) {
            if (h.list().GetCheck(row))
                expected << QStringLiteral("IP : %1 / MAC :%2")
                                .arg(h.list().GetItemText(row, 2), h.list().GetItemText(row, 1));
        }
        QCOMPARE(expected.size(), 3);
        QCOMPARE(h.messages, expected);

        // The two rebooted devices are silent for a while; the third answers.
        h.dialog->OnBnClickedSearch();
        QTRY_VERIFY_WITH_TIMEOUT(!h.dialog->m_pWaitDlg->isVisible(), 8000);
        QCOMPARE(h.rowOf(kVendorMac), -1);
        QCOMPARE(h.rowOf(kVendorMac2), -1);
        QVERIFY(h.rowOf("5C:F2:07:00:10:03") >= 0);
    }

    void factoryResetRestoresTheVendorDevices()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices() + QStringList{QStringLiteral("--reboot-time"), QStringLiteral("300")}));
        DialogHarness h;
        searchAll(h, 4);
        select(h, kVendorMac);
        typeSettings(h, "10.77.1.2", "secret", ""); // same address, so that it stays reachable
        h.dialog->OnBnClickedSave();
        QCOMPARE(h.messages, QStringList({QStringLiteral("Apply")}));
        searchAll(h, 4);
        select(h, kVendorMac);
        QCOMPARE(h.text(D::IDC_EDIT_SUBNET), QStringLiteral("255.255.0.0"));

        h.list().SetCheck(h.rowOf(kOwnMac), true);
        h.list().SetCheck(h.rowOf(kVendorMac), true);
        select(h, kOwnMac);
        h.setText(D::IDC_EDIT_PASSWORD, QStringLiteral("secret"));
        h.setText(D::IDC_EDIT_IP, QStringLiteral("10.77.1.99"));
        h.dialog->OnBnClickedFactoryReset();
        QCOMPARE(h.messages.size(), 1); // a reset shows nothing
        // The edits stay in the selected device's record, the plain password in the vendor one's.
        QCOMPARE(ReadText(stored(h).ip_addr), QByteArray("10.77.1.99"));
        const CameraInfo &vendor =
            h.dialog->m_arrDevices[static_cast<size_t>(h.list().GetItemText(h.rowOf(kVendorMac), 0).toInt() - 1)]
                ->m_CameraInfo;
        QCOMPARE(VendorPassword(vendor), QByteArray("secret"));

        QTest::qWait(600); // the reset device comes back
        searchAll(h, 4);
        select(h, kVendorMac);
        QCOMPARE(h.text(D::IDC_EDIT_SUBNET), QStringLiteral("255.255.255.0"));
    }

    void noPasswordOrDigestOnStandardOutput()
    {
        DevSim sim;
        QVERIFY(sim.Start(devices() + QStringList{QStringLiteral("--reboot-time"), QStringLiteral("300")}));
        DialogHarness h;
        const QByteArray output = CaptureStdout([&] {
            searchAll(h, 4);
            select(h, kOwnMac);
            typeSettings(h, "10.77.1.21", "secret");
            h.dialog->OnBnClickedSave();
            QTRY_COMPARE(h.messages, QStringList({QStringLiteral("Apply")}));

            select(h, kVendorMac); // a vendor network change logs in with the plain password
            typeSettings(h, "10.77.1.2", "secret", "");
            h.dialog->OnBnClickedSave();
            QCOMPARE(h.messages.last(), QStringLiteral("Apply"));

            h.list().SetCheck(h.rowOf(kVendorMac2), true);
            h.dialog->OnBnClickedReboot();
        });
        QVERIFY(output.contains("login success!\n"));
        QCOMPARE(output.count("pObj->m_CameraInfo.header.pass_wd=[********]\n"), 3);

        const QByteArray digest = QCryptographicHash::hash(QByteArray("secret", 7), QCryptographicHash::Md5);
        QVERIFY(!output.contains("secret"));
        QVERIFY(!output.contains(digest.toHex()));
        QVERIFY(!output.contains(digest.toHex().toUpper()));
        QVERIFY(!output.contains(digest.left(4))); // the raw bytes, as far as a text print would go
    }

    void nothingCheckedChangesOnlyTheSelectedRecord()
    {
        DialogHarness h;
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0A"));
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0B"));
        const QByteArray other = bytesOf(h.dialog->m_arrDevices[1]->m_CameraInfo);
        h.dialog->OnNMClickListDevice(0);
        h.setText(D::IDC_EDIT_IP, QStringLiteral("10.1.1.1"));
        h.dialog->OnBnClickedReboot();
        QVERIFY(h.messages.isEmpty());
        const CameraInfo &selected = h.dialog->m_arrDevices[0]->m_CameraInfo;
        QCOMPARE(ReadText(selected.ip_addr), QByteArray("10.1.1.1"));
        QCOMPARE(QByteArray(selected.header.pass_wd, 16).toHex(), QByteArray("93b885adfe0da089cdf634904fd59f71"));
        QCOMPARE(bytesOf(h.dialog->m_arrDevices[1]->m_CameraInfo), other);
    }
};

QTEST_MAIN(TestConfigCommands)
#include "tst_configcommands.moc"
