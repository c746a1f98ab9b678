#include "CHalvetranoDlg.h"
#include "CSplashMsgDlg.h"
#include "CTalbrixReceveSocket.h"
#include "CaptureStdout.h"
#include "DialogHarness.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace TestNetwork;
using D = CCorvaneDlg;

namespace {
QStringList ownDevice(const char *mac, const char *ip)
{
    return {QStringLiteral("--device"), QStringLiteral("mac=%1,ip=%2").arg(QLatin1String(mac), QLatin1String(ip))};
}

QStringList vendorDevice(const char *mac, int mediaPort)
{
    return {QStringLiteral("--device"), QStringLiteral("family=vendor,mac=%1,ip=%2,mediaPort=%3")
                                            .arg(QLatin1String(mac), kDeviceAddress1)
                                            .arg(mediaPort)};
}

void sendToReplyPort(const QByteArray &datagram)
{
    TestNetwork::SendToLocalPort(datagram, REPLY_PORT);
}

QByteArray bytesOf(const CameraInfo &info)
{
    return QByteArray(reinterpret_cast<const char *>(&info), sizeof info);
}

int ownProtocolDatagrams(const DevSim &sim)
{
    int count = 0;
    const auto log = sim.Log();
    for (const QJsonObject &line : log)
        count += line.value(QLatin1String("protocol")).toString() == QLatin1String("own") ? 1 : 0;
    return count;
}

// An adapter of the test's host namespace that has no IPv4 address, only the IPv6
// link-local one the kernel gives it: one end of a veth pair whose other end is here too.
struct AdapterWithoutIPv4
{
    bool ipRuns = QProcess::execute(QStringLiteral("ip"), {QStringLiteral("-V")}) >= 0; // not from Windows programs
    bool made = ipRuns
                && QProcess::execute(QStringLiteral("ip"),
                                     {QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("d0"),
                                      QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"),
                                      QStringLiteral("name"), QStringLiteral("d0p")})
                       == 0
                && QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("set"),
                                                            QStringLiteral("d0p"), QStringLiteral("up")})
                       == 0
                && QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("set"),
                                                            QStringLiteral("d0"), QStringLiteral("up")})
                       == 0;
    ~AdapterWithoutIPv4()
    {
        QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("del"), QStringLiteral("d0")});
    }
};

bool radioChecked(const DialogHarness &h, int id)
{
    return static_cast<QRadioButton *>(h.dialog->Control(id))->isChecked();
}

bool addressEditsEnabled(const DialogHarness &h)
{
    for (int id : {D::IDC_EDIT_IP, D::IDC_EDIT_SUBNET, D::IDC_EDIT_GATEWAY, D::IDC_EDIT_DNS}) {
        if (!h.dialog->Control(id)->isEnabled())
            return false;
    }
    return true;
}
} // namespace

class TestCorvaneDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: this test broadcasts"); }

    void startsEmptyWithItsControls()
    {
        DialogHarness h;
        CCorvaneDlg &dlg = *h.dialog;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Corvane ( 3.0.0.0 )"));
        QCOMPARE(dlg.m_nSelected, -1);
        QCOMPARE(dlg.m_comboAdapter->itemText(0), QStringLiteral("lo: 127.0.0.1"));
        QCOMPARE(dlg.m_comboAdapter->count(), 3);

        const CReportCtrl &list = h.list();
        QCOMPARE(list.GetColumnCount(), 7);
        const QStringList headings{QStringLiteral("   No."),
                                   QStringLiteral("MAC ADDRESS"),
                                   QStringLiteral("IP ADDRESS"),
                                   QStringLiteral("MODEL NAME"),
                                   QStringLiteral("MANUFACTURER"),
                                   QStringLiteral("VERSION"),
                                   QString()};
        const int w = list.width() - 8;
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(list.model()->headerData(i, Qt::Horizontal).toString(), headings[i]);
            QCOMPARE(list.columnWidth(i), i == 6 ? 0 : w * (i == 0 ? 50 : 130) / 700);
        }

        QVERIFY(radioChecked(h, D::IDC_RADIO_STATIC));
        QVERIFY(!radioChecked(h, D::IDC_RADIO_DHCP));
        QVERIFY(addressEditsEnabled(h));
        QVERIFY(!dlg.Control(D::IDC_EDIT_MODEL)->isEnabled());
        QCOMPARE(h.text(D::IDC_EDIT_WEBPORT), QStringLiteral("0"));

        const struct
        {
            QPushButton *button;
            const char *caption;
            const char *tooltip;
        } buttons[] = {{dlg.m_btnSearch, "Device Search", "Search Device"},
                       {dlg.m_btnSave, "Save", "Save and Apply"},
                       {dlg.m_btnReboot, "Reboot", "Reboot"},
                       {dlg.m_btnFactoryReset, "Factory Reset", "Factory Reset"}};
        for (const auto &b : buttons) {
            QCOMPARE(b.button->text(), QLatin1String(b.caption));
            QCOMPARE(b.button->toolTip(), QLatin1String(b.tooltip));
            QCOMPARE(b.button->palette().color(QPalette::Button), QColor(216, 216, 216));
        }

        QVERIFY(dlg.m_pWaitDlg);
        QVERIFY(!dlg.m_pWaitDlg->isVisible());
        QCOMPARE(dlg.m_pWaitDlg->m_strMessage, QString());
        QVERIFY(dlg.m_pVendorDlg);
        QCOMPARE(dlg.m_pVendorDlg->m_strHostIp, QStringLiteral("192.168.0.1"));
    }

    void enterAndEscapeEndTheDialog()
    {
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            for (int id : {D::IDC_EDIT_IP, D::IDC_COMBO_ADAPTER, D::IDC_LIST_DEVICE, D::IDC_RADIO_STATIC}) {
                DialogHarness h;
                h.dialog->show();
                QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
                h.dialog->Control(id)->setFocus();
                QTest::keyClick(h.dialog->Control(id), static_cast<Qt::Key>(key));
                QVERIFY(!h.dialog->isVisible());
            }
        }
    }

    void enterPressesTheFocusedButton()
    {
        DialogHarness h;
        h.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
        for (QPushButton *button :
             {h.dialog->m_btnSave, h.dialog->m_btnReboot, h.dialog->m_btnFactoryReset, h.dialog->m_btnSearch}) {
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
                QSignalSpy clicked(button, &QPushButton::clicked);
                button->setFocus();
                QTest::keyClick(button, key);
                QCOMPARE(clicked.count(), 1);
                QVERIFY(h.dialog->isVisible());
            }
        }
        QVERIFY(h.dialog->m_pWaitDlg->isVisible()); // "Device Search" did search
        // Escape on a button still ends the dialog.
        QTest::keyClick(h.dialog->m_btnSave, Qt::Key_Escape);
        QVERIFY(!h.dialog->isVisible());
    }

    void searchListsBothFamiliesOnce()
    {
        DevSim devices;
        QVERIFY(devices.Start(ownDevice("00:1A:2B:3C:4D:01", "10.77.1.21")
                              + ownDevice("00:1A:2B:3C:4D:02", "10.77.1.22") + vendorDevice("00:2B:00:00:00:01", 8001)
                              + vendorDevice("00:2B:00:00:00:02", 8002)
                              + QStringList{QStringLiteral("--answer-twice")}));
        DialogHarness h;
        h.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(h.dialog->m_btnSearch, Qt::LeftButton);

        CSplashMsgDlg &wait = *h.dialog->m_pWaitDlg;
        QVERIFY(wait.isVisible());
        QCOMPARE(wait.m_strMessage, QStringLiteral("Please Wait..."));
        const QRect m = h.dialog->frameGeometry();
        const QRect p = wait.frameGeometry();
        QCOMPARE(p.topLeft(), QPoint(m.left() + (m.width() - p.width()) / 2, m.top() + (m.height() - p.height()) / 2));

        QTRY_COMPARE_WITH_TIMEOUT(h.list().GetItemCount(), 4, 6000);
        QTRY_VERIFY_WITH_TIMEOUT(!wait.isVisible(), 8000);
        QVERIFY2(clock.elapsed() >= 3900, "hidden a second after the three-second vendor search");
        QCOMPARE(h.list().GetItemCount(), 4); // answers twice, listed once
        QCOMPARE(h.dialog->m_arrDevices.size(), size_t(4));
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(h.list().GetItemText(row, 0), QString::number(row + 1));
            const CCameraInfoObj &device = *h.dialog->m_arrDevices[static_cast<size_t>(row)];
            QCOMPARE(device.m_strMaker, QStringLiteral("Talbrixonics"));
            QCOMPARE(h.list().GetItemText(row, 1).toLatin1(), ReadText(device.m_CameraInfo.mac_addr));
            QCOMPARE(h.list().GetItemText(row, 4),
                     IsVendorFamily(device.m_CameraInfo) ? QString() : QStringLiteral("Talbrixonics"));
        }
        const int vendorRow = h.rowOf("00:2B:00:00:00:02");
        QVERIFY(vendorRow >= 0);
        const CameraInfo &vendor = h.dialog->m_arrDevices[static_cast<size_t>(vendorRow)]->m_CameraInfo;
        QCOMPARE(vendor.media_port, 8002);
        QCOMPARE(vendor.header.cmd, 0);
        QCOMPARE(ReadText(vendor.manufacturer), QByteArray("Halvetrano"));
    }

    void duplicatesAndTheTwelveCharacterRule()
    {
        DialogHarness h;
        CCorvaneDlg &dlg = *h.dialog;
        QCOMPARE(dlg.AddSearchedDevice(MakeReply("00:11:22:33")), 0); // 11 characters, list empty
        QCOMPARE(dlg.AddSearchedDevice(MakeReply("001122334455")), 1);
        QCOMPARE(dlg.AddSearchedDevice(MakeReply("001122334455", "10.0.0.99")), 0);
        QCOMPARE(dlg.AddSearchedDevice(MakeReply("00:11:22:33")), 1); // the rule holds for an empty list only
        QCOMPARE(dlg.AddSearchedDevice(MakeReply("00:11:22:3")), 1);
        QCOMPARE(h.list().GetItemCount(), 3);
        QCOMPARE(h.list().GetItemText(0, 2), QStringLiteral("10.77.1.20")); // the first answer stays
        QCOMPARE(dlg.AddSearchedDevice(MakeReply("001122334455 ")), 1);     // exact comparison
    }

    void clickFillsTheFieldsOfTheRowsDevice()
    {
        DialogHarness h;
        CCorvaneDlg &dlg = *h.dialog;
        CameraInfo dhcpDevice = MakeReply("00:00:00:00:00:0C", "10.77.1.3");
        dhcpDevice.dhcp = 1;
        dhcpDevice.web_port = 8080;
        WriteText(dhcpDevice.header.user_id, "operator");
        WriteText(dhcpDevice.header.pass_wd, "digestbytes");
        dlg.AddSearchedDevice(MakeReply("00:00:00:00:00:0A", "10.77.1.1"));
        dlg.AddSearchedDevice(MakeReply("00:00:00:00:00:0B", "10.77.1.2"));
        dlg.AddSearchedDevice(dhcpDevice);

        h.list().SortByColumn(1, false); // rows now C, B, A
        QCOMPARE(h.list().GetItemText(0, 0), QStringLiteral("3"));
        dlg.OnNMClickListDevice(0);
        QCOMPARE(dlg.m_nSelected, 2);
        QCOMPARE(h.text(D::IDC_EDIT_IP), QStringLiteral("10.77.1.3"));
        QCOMPARE(h.text(D::IDC_EDIT_USERID), QStringLiteral("operator"));
        QCOMPARE(h.text(D::IDC_EDIT_WEBPORT), QStringLiteral("8080"));
        QCOMPARE(h.text(D::IDC_EDIT_MODEL), QStringLiteral("TC-100"));
        QCOMPARE(h.text(D::IDC_EDIT_PASSWORD), QString());
        QCOMPARE(dlg.m_arrDevices[2]->m_CameraInfo.header.pass_wd[0], '\0');
        QCOMPARE(dlg.m_arrDevices[2]->m_CameraInfo.header.pass_wd[1], 'i');
        QVERIFY(radioChecked(h, D::IDC_RADIO_DHCP));
        QVERIFY(!addressEditsEnabled(h));

        dlg.OnNMClickListDevice(2); // device 1, static
        QCOMPARE(dlg.m_nSelected, 0);
        QCOMPARE(h.text(D::IDC_EDIT_IP), QStringLiteral("10.77.1.1"));
        QVERIFY(radioChecked(h, D::IDC_RADIO_STATIC));
        QVERIFY(addressEditsEnabled(h));

        dlg.OnNMClickListDevice(3); // no such row
        dlg.OnNMClickListDevice(-1);
        QCOMPARE(dlg.m_nSelected, 0);
        QVERIFY(h.messages.isEmpty());
    }

    void doubleClickOpensTheWebPage_data()
    {
        QTest::addColumn<int>("https");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("address");
        QTest::newRow("http 80") << 0 << 80 << QStringLiteral("http://10.77.1.9");
        QTest::newRow("http 81") << 0 << 81 << QStringLiteral("http://10.77.1.9:81");
        QTest::newRow("https 443") << 1 << 443 << QStringLiteral("https://10.77.1.9");
        QTest::newRow("https 80") << 1 << 80 << QStringLiteral("https://10.77.1.9:80");
        QTest::newRow("unknown scheme") << 2 << 80 << QString();
    }

    void doubleClickOpensTheWebPage()
    {
        QFETCH(int, https);
        QFETCH(int, port);
        QFETCH(QString, address);
        DialogHarness h;
        CameraInfo device = MakeReply("00:00:00:00:00:0A", "10.77.1.9");
        device.https = static_cast<quint8>(https);
        device.web_port = static_cast<quint16>(port);
        h.dialog->AddSearchedDevice(device);
        h.dialog->OnNMDblclkListDevice(0);
        QCOMPARE(h.dialog->m_nSelected, 0);
        if (address.isEmpty())
            QVERIFY(h.openedUrls.isEmpty()); // no address, no browser
        else
            QCOMPARE(h.openedUrls, QList<QUrl>({QUrl(address)}));
    }

    void replyHandling()
    {
        DialogHarness h;
        CCorvaneDlg &dlg = *h.dialog;
        dlg.OnBnClickedSearch(); // makes the receive socket
        QVERIFY(dlg.m_pReceiveSocket && dlg.m_pReceiveSocket->IsOpen());

        // A set-network reply while nothing is selected is dropped quietly.
        CameraInfo answer = MakeReply("00:00:00:00:00:0A");
        answer.header.cmd = CMD_SET_NETWORK;
        sendToReplyPort(bytesOf(answer));
        sendToReplyPort(bytesOf(MakeReply("00:00:00:00:00:0A")));
        sendToReplyPort(bytesOf(MakeReply("00:00:00:00:00:0B")));
        QTRY_COMPARE(h.list().GetItemCount(), 2);
        QVERIFY(h.messages.isEmpty());
        // By MAC: answers of different devices may reach different reply sockets, and the order
        // between those is not kept.
        dlg.OnNMClickListDevice(h.rowOf("00:00:00:00:00:0A"));

        sendToReplyPort(bytesOf(answer));
        sendToReplyPort(bytesOf(answer));
        QTRY_COMPARE(h.messages, QStringList({QStringLiteral("Apply")}));
        QTest::qWait(100);
        QCOMPARE(h.messages.size(), 1); // one report per Save

        dlg.m_bResultShown = 0; // as the end of a Save leaves it
        CameraInfo other = answer;
        WriteText(other.mac_addr, "00:00:00:00:00:0B");
        other.header.result = RESULT_LOGIN_FAILED;
        sendToReplyPort(bytesOf(other));
        answer.header.result = 7;
        sendToReplyPort(bytesOf(answer));
        QTRY_COMPARE(dlg.m_bResultShown, 1);
        answer.header.result = RESULT_INVALID_PORT;
        sendToReplyPort(bytesOf(answer));
        QTest::qWait(100);
        QCOMPARE(h.messages.size(), 1); // the other device's reply and result 7 showed nothing

        dlg.m_bResultShown = 0;
        answer.header.result = RESULT_INVALID_ADDRESS;
        sendToReplyPort(bytesOf(answer));
        QTRY_COMPARE(h.messages.last(), QStringLiteral("Failed. Invalid address"));
    }

    void strayDatagramsDoNotStopDiscovery()
    {
        DialogHarness h;
        CCorvaneDlg &dlg = *h.dialog;
        dlg.OnBnClickedSearch();
        CameraInfo request = MakeReply("00:00:00:00:00:0A");
        request.header.cmd = CMD_SEARCH_REQUEST;
        sendToReplyPort(QByteArray());                                      // empty
        sendToReplyPort(bytesOf(MakeReply("00:00:00:00:00:0B")) + "xx");    // oversized
        sendToReplyPort(bytesOf(request));                                  // a request, not an answer
        sendToReplyPort(QByteArray("\x04\x00\x00\x00", 4));                 // too short to name a device
        sendToReplyPort(bytesOf(MakeReply("00:00:00:00:00:0C")).left(150)); // cut short: zero-filled
        QByteArray noNul = bytesOf(MakeReply("00:00:00:00:00:0D"));
        noNul.replace(72, 24, QByteArray(24, 'M')); // MAC field full, no NUL
        sendToReplyPort(noNul);
        sendToReplyPort(bytesOf(MakeReply("00:00:00:00:00:0E")));
        QTRY_COMPARE(h.list().GetItemCount(), 3);
        QVERIFY(dlg.m_pReceiveSocket->IsOpen());
        QVERIFY(h.messages.isEmpty());
        // By MAC: the order between devices is not kept (they may reach different reply sockets).
        const int cut = h.rowOf("00:00:00:00:00:0C");
        QVERIFY(cut >= 0);
        QCOMPARE(h.list().GetItemText(cut, 5), QString()); // the version lay beyond the cut
        QVERIFY(h.rowOf(QByteArray(24, 'M')) >= 0);
        QVERIFY(h.rowOf("00:00:00:00:00:0E") >= 0);
    }

    void repliesWithoutMacAddNoRow()
    {
        DialogHarness h;
        h.dialog->OnBnClickedSearch();
        const QByteArray trace = CaptureStdout([&] {
            sendToReplyPort(bytesOf(MakeReply("00:00:00:00:00:0A")));
            QTRY_COMPARE(h.list().GetItemCount(), 1);
            sendToReplyPort(QByteArray(1, '\x04')); // zero-filled into a search reply with no MAC
            sendToReplyPort(bytesOf(MakeReply("")));
            sendToReplyPort(bytesOf(MakeReply("00:00:00:00:00:0B")));
            QTRY_COMPARE(h.list().GetItemCount(), 2);
        });
        QCOMPARE(h.list().GetItemText(1, 1), QStringLiteral("00:00:00:00:00:0B"));
        QCOMPARE(h.dialog->m_arrDevices.size(), size_t(2));
        QCOMPARE(trace.count("device without MAC address dropped\n"), 2);
        QCOMPARE(h.dialog->AddSearchedDevice(MakeReply("")), 0);
        QVERIFY(h.messages.isEmpty());
    }

    void adapterWithoutIPv4SendsNothing()
    {
        // The host's default route leaves by veth1: a request bound to no address would go there.
        DevSim near(1);
        QVERIFY(near.Start(ownDevice("00:1A:2B:3C:4D:01", "10.77.1.21") + vendorDevice("00:2B:00:00:00:01", 8001)));
        DevSim far(2);
        QVERIFY(far.Start(ownDevice("00:1A:2B:3C:4D:02", "10.77.2.21")));
        AdapterWithoutIPv4 d0;
        if (!d0.ipRuns)
            QSKIP("adds an adapter with Linux's ip command, which a Windows build cannot start (Wine)");
        QVERIFY(d0.made);
        DialogHarness h;
        const int index = h.dialog->m_comboAdapter->findText(QStringLiteral("d0: "));
        QVERIFY(index >= 0);
        h.dialog->m_comboAdapter->setCurrentIndex(index);

        const QByteArray trace = CaptureStdout([&] {
            h.dialog->OnBnClickedSearch();
            QTRY_VERIFY_WITH_TIMEOUT(!h.dialog->m_pWaitDlg->isVisible(), 8000);
        });
        QCOMPARE(ownProtocolDatagrams(near), 0);
        QCOMPARE(ownProtocolDatagrams(far), 0);
        QVERIFY(trace.contains("adapter d0 has no IPv4 address: nothing sent\n"));
        QVERIFY(!trace.contains("trying: socket..."));
        QCOMPARE(h.list().GetItemCount(), 1); // the vendor search still ran
        QVERIFY(h.rowOf("00:2B:00:00:00:01") >= 0);

        // Save sends nothing either, for either family, and says why.
        h.dialog->AddSearchedDevice(MakeReply("00:1A:2B:3C:4D:01", "10.77.1.21"));
        const qsizetype logged = near.Log().size();
        for (const QByteArray mac : {"00:1A:2B:3C:4D:01", "00:2B:00:00:00:01"}) {
            h.dialog->OnNMClickListDevice(h.rowOf(mac));
            h.setText(D::IDC_EDIT_IP, QStringLiteral("10.77.1.40"));
            h.setText(D::IDC_EDIT_PASSWORD, QStringLiteral("secret"));
            h.dialog->OnBnClickedSave();
        }
        const QString why = QStringLiteral("The network adapter d0 has no IPv4 address: nothing was sent.");
        QCOMPARE(h.messages, QStringList({why, why}));
        QTest::qWait(300);
        QCOMPARE(ownProtocolDatagrams(near), 0);
        QCOMPARE(ownProtocolDatagrams(far), 0);
        QCOMPARE(near.Log().size(), logged);
        QCOMPARE(h.dialog->m_pVendorDlg->m_strHostIp, QStringLiteral("192.168.0.1")); // no network change began
    }

    void searchWithoutAdapterStillRunsTheVendorSearch()
    {
        DevSim devices;
        QVERIFY(devices.Start(ownDevice("00:1A:2B:3C:4D:01", "10.77.1.21") + vendorDevice("00:2B:00:00:00:01", 8001)));
        CorvaneServices services;
        services.interfaces = [] { return QList<HostInterface>(); };
        DialogHarness h(services);
        QCOMPARE(h.dialog->m_comboAdapter->count(), 0);
        h.dialog->OnBnClickedSearch();
        QVERIFY(h.dialog->m_pWaitDlg->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!h.dialog->m_pWaitDlg->isVisible(), 8000);
        QCOMPARE(h.list().GetItemCount(), 1); // the vendor device
        QVERIFY(devices.Log().isEmpty()
                || devices.Log().first().value(QLatin1String("protocol")) != QLatin1String("own"));
    }

    void replyPortHeldByAnotherProgram()
    {
        DevSim holder(0);
        QVERIFY(holder.Start({QStringLiteral("--device-port"), QString::number(REPLY_PORT)}));
        DevSim devices;
        QVERIFY(devices.Start({}));
        DialogHarness h;
        h.dialog->OnBnClickedSearch();
        QCOMPARE(h.messages, QStringList({QStringLiteral("Error create socket!!!")}));
        QVERIFY(!h.dialog->m_pReceiveSocket);
        QVERIFY(devices.WaitForLog(1)); // the request still went out
        h.dialog->OnBnClickedSearch();
        QCOMPARE(h.messages.size(), 2);
    }

    void closingDuringAVendorSearch()
    {
        DevSim devices;
        QVERIFY(devices.Start(QStringList{QStringLiteral("--generate-vendor"), QStringLiteral("20")}));
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 50; ++i) {
            DialogHarness h;
            h.dialog->OnBnClickedSearch();
            h.dialog->OnBnClickedSearch(); // a second worker finds the search running
            QTest::qWait(i % 5 * 20);      // sometimes while devices are being handed over
        }
        QVERIFY2(clock.elapsed() < 30000, "closing must not wait for the search to run out");
    }
};

QTEST_MAIN(TestCorvaneDlg)
#include "tst_corvanedlg.moc"
