#include "DeviceListFlags.h"
#include "DeviceListMenu.h"
#include "DialogHarness.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

using namespace TestNetwork;
using D = CCorvaneDlg;

namespace {
// Whether the cell shows its whole text: the item view elides what is wider than the cell less
// its margins.
bool showsWhole(const CReportCtrl &list, int row, int column)
{
    const int margin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    const int textWidth = list.fontMetrics().horizontalAdvance(list.GetItemText(row, column));
    return textWidth + 2 * margin <= list.columnWidth(column);
}

QColor background(const CReportCtrl &list, int row, int column)
{
    return list.model()->index(row, column).data(Qt::BackgroundRole).value<QColor>();
}

QString note(const CReportCtrl &list, int row, int column)
{
    const QString tip = list.model()->index(row, column).data(Qt::ToolTipRole).toString();
    // A screen reader gets the same words.
    if (list.model()->index(row, column).data(Qt::AccessibleDescriptionRole).toString() != tip)
        return QStringLiteral("accessible description differs");
    return tip;
}

// MAC -> the note of its IP ADDRESS cell, and whether that cell is coloured.
QMap<QString, QString> ipNotes(const DialogHarness &h)
{
    QMap<QString, QString> notes;
    const CReportCtrl &list = h.list();
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const bool coloured = background(list, row, D::kIpColumn) != list.palette().color(QPalette::Base);
        const QString text = note(list, row, D::kIpColumn);
        if (coloured != !text.isEmpty())
            notes.insert(list.GetItemText(row, 1), QStringLiteral("colour and note disagree"));
        else if (coloured)
            notes.insert(list.GetItemText(row, 1), text);
        for (int column : {0, 1, 3, 4, 5, 6}) {
            if (!note(list, row, column).isEmpty())
                notes.insert(list.GetItemText(row, 1), QStringLiteral("a note in column %1").arg(column));
        }
    }
    return notes;
}

DeviceListMenu &menuOf(const DialogHarness &h)
{
    return *h.dialog->findChild<DeviceListMenu *>();
}

void selectRows(const DialogHarness &h, const QList<int> &rows)
{
    h.list().selectionModel()->clearSelection();
    for (int row : rows)
        h.list().ApplyRowState(row, RS_SELECTED);
}

QStringList devSimDevices(const QList<std::pair<const char *, const char *>> &macAndIp)
{
    QStringList arguments;
    for (const auto &[mac, ip] : macAndIp)
        arguments << QStringLiteral("--device")
                  << QStringLiteral("mac=%1,ip=%2,password=secret").arg(QLatin1String(mac), QLatin1String(ip));
    return arguments;
}
} // namespace

class TestDeviceList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: the main window may broadcast"); }

    void theDialogFontHasTheTemplateFontsWidths()
    {
        if (UnderWine())
            QSKIP("measures text in Liberation Sans, Linux's stand-in for the Windows font; Wine's offscreen Qt has "
                  "none");
        DialogHarness h;
        QVERIFY2(QFontInfo(h.dialog->font()).family() == QStringLiteral("Liberation Sans"),
                 "scripts/deps.sh installs fonts-liberation2, the stand-in for Microsoft Sans Serif");
        QCOMPARE(h.dialog->font().pointSize(), 10);
    }

    void widestMacAndAddressShowWhole()
    {
        if (UnderWine())
            QSKIP("measures text in Liberation Sans, Linux's stand-in for the Windows font; Wine's offscreen Qt has "
                  "none");
        DialogHarness h;
        CReportCtrl &list = h.list();
        const int startWidths[] = {list.columnWidth(1), list.columnWidth(2)};
        h.dialog->AddSearchedDevice(MakeReply("00:1A:2B:3C:4D:5E", "10.77.1.20"));
        QCOMPARE(list.columnWidth(1), startWidths[0]); // fits the template's share: no change
        QCOMPARE(list.columnWidth(2), startWidths[1]);

        h.dialog->AddSearchedDevice(MakeReply("DD:DD:DD:DD:DD:DD", "255.255.255.255"));
        CameraInfo full = MakeReply("WWWWWWWWWWWWWWWWWWWWWWW", "255.255.255.255.255.255.255.255");
        std::memset(full.mac_addr, 'W', sizeof full.mac_addr); // the field full, no NUL
        h.dialog->AddSearchedDevice(full);
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:01", "1.1.1.1"));
        for (int row = 0; row < list.GetItemCount(); ++row) {
            for (int column = 0; column < 6; ++column)
                QVERIFY2(showsWhole(list, row, column), qPrintable(list.GetItemText(row, column)));
        }
        QCOMPARE(list.columnWidth(6), 0);

        // A new search keeps the widths: columns never narrow.
        const int widened = list.columnWidth(1);
        h.dialog->OnBnClickedSearch();
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:02"));
        QCOMPARE(list.columnWidth(1), widened);
    }

    void flagsFollowTheirDevicesInEveryOrder()
    {
        DialogHarness h;
        const char *const devices[][3] = {{"00:00:00:00:00:0A", "10.77.1.20", "255.255.255.0"},
                                          {"00:00:00:00:00:0B", "10.77.1.21", "255.255.255.0"},
                                          {"00:00:00:00:00:0C", "10.77.1.20", "255.255.255.0"},
                                          {"00:00:00:00:00:0D", "10.77.1.20", "255.255.255.0"},
                                          {"00:00:00:00:00:0E", "0.0.0.0", "255.255.255.0"},
                                          {"00:00:00:00:00:0F", "0.0.0.0", "255.255.255.0"},
                                          {"00:00:00:00:00:10", "", ""},
                                          {"00:00:00:00:00:11", "10.77.1.300", "255.255.255.0"},
                                          {"00:00:00:00:00:12", "192.168.0.64", "255.255.255.0"},
                                          {"00:00:00:00:00:13", "192.168.0.64", "255.255.255.0"},
                                          {"00:00:00:00:00:14", "10.77.1.23",
                                           "255.255.255.252"}, // its own network leaves the adapter out
                                          {"00:00:00:00:00:15", "10.77.2.5", "255.255.0.0"},
                                          {"00:00:00:00:00:16", "10.77.1.24", "255.255.0.0"},
                                          {"00:00:00:00:00:17", "10.77.1.25", "not a mask"}};
        for (const auto &device : devices) {
            CameraInfo reply = MakeReply(device[0], device[1]);
            WriteText(reply.subnet_mask, device[2]);
            h.dialog->AddSearchedDevice(reply);
        }
        const QString outside = QStringLiteral("Not in 10.77.1.0/24 of veth1: give it an address in that network");
        const QMap<QString, QString> expected{
            {"00:00:00:00:00:0A",
             "Address in use twice: 10.77.1.20 is also used by 00:00:00:00:00:0C and 00:00:00:00:00:0D"},
            {"00:00:00:00:00:0C",
             "Address in use twice: 10.77.1.20 is also used by 00:00:00:00:00:0A and 00:00:00:00:00:0D"},
            {"00:00:00:00:00:0D",
             "Address in use twice: 10.77.1.20 is also used by 00:00:00:00:00:0A and 00:00:00:00:00:0C"},
            {"00:00:00:00:00:0E", outside}, // 0.0.0.0 twice is no address in use twice
            {"00:00:00:00:00:0F", outside},
            {"00:00:00:00:00:10", outside},
            {"00:00:00:00:00:11", outside},
            {"00:00:00:00:00:12", outside + "\nAddress in use twice: 192.168.0.64 is also used by 00:00:00:00:00:13"},
            {"00:00:00:00:00:13", outside + "\nAddress in use twice: 192.168.0.64 is also used by 00:00:00:00:00:12"},
            {"00:00:00:00:00:14", outside},
            {"00:00:00:00:00:15", outside}};
        QCOMPARE(ipNotes(h), expected);
        const QColor black(Qt::black);
        QCOMPARE(background(h.list(), h.rowOf("00:00:00:00:00:0A"), D::kIpColumn),
                 QColor::fromRgba(DeviceListFlags::kInUseTwiceBk));
        QCOMPARE(background(h.list(), h.rowOf("00:00:00:00:00:12"), D::kIpColumn),
                 QColor::fromRgba(DeviceListFlags::kOutsideBk));
        QCOMPARE(h.list()
                     .model()
                     ->index(h.rowOf("00:00:00:00:00:0E"), D::kIpColumn)
                     .data(Qt::ForegroundRole)
                     .value<QColor>(),
                 black);

        for (int column = 0; column < 7; ++column) {
            for (bool ascending : {true, false}) {
                h.list().SortByColumn(column, ascending);
                QCOMPARE(ipNotes(h), expected);
            }
        }
        // A device added after a sort finds the rows of the devices it joins.
        h.list().SortByColumn(1, false);
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:18", "10.77.1.21"));
        QCOMPARE(ipNotes(h).value(QStringLiteral("00:00:00:00:00:0B")),
                 QStringLiteral("Address in use twice: 10.77.1.21 is also used by 00:00:00:00:00:18"));
        QCOMPARE(ipNotes(h).size(), expected.size() + 2);

        // Another adapter judges every device again.
        h.dialog->m_comboAdapter->setCurrentIndex(
            h.dialog->m_comboAdapter->findText(QStringLiteral("veth2: ") + kHostAddress2));
        const QMap<QString, QString> judgedByVeth2 = ipNotes(h);
        QVERIFY(!judgedByVeth2.contains(QStringLiteral("00:00:00:00:00:15"))); // 10.77.2.5/16 holds 10.77.2.1
        QCOMPARE(judgedByVeth2.value(QStringLiteral("00:00:00:00:00:16")),
                 QStringLiteral("Not in 10.77.2.0/24 of veth2: give it an address in that network"));
        QCOMPARE(judgedByVeth2.size(), 14);
        h.dialog->m_comboAdapter->setCurrentIndex(-1); // no adapter: nothing is outside
        QCOMPARE(ipNotes(h).size(), 7);

        h.dialog->OnBnClickedSearch();
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0A", "10.77.1.20"));
        QVERIFY(ipNotes(h).isEmpty());
    }

    // A device's address changing, or a device leaving the list and the ones after it moving up
    // a number, as the window does when a login shows two rows are one device.
    void flagsFollowChangedAndRemovedDevices()
    {
        CReportCtrl list;
        for (int column = 0; column < 7; ++column)
            list.InsertColumn(column, QString());
        QStringList macs;
        DeviceListFlags flags(
            list, [&list](int row) { return list.GetItemText(row, 0).toInt() - 1; },
            [&macs](int device) { return macs.at(device); });
        int made = 0;
        const auto add = [&](const QString &ip) {
            const int n = list.GetItemCount();
            macs << QStringLiteral("MAC %1").arg(made++);
            list.InsertItem(n, QString::number(n + 1));
            list.SetItemText(n, D::kIpColumn, ip);
            flags.Added(n, n, macs.last(), ip, QStringLiteral("255.255.255.0"));
        };
        const auto remove = [&](int device) {
            flags.Removed(device);
            macs.removeAt(device);
            for (int row = list.GetItemCount() - 1; row >= 0; --row) {
                const int shown = list.GetItemText(row, 0).toInt() - 1;
                if (shown == device)
                    list.DeleteItem(row);
                else if (shown > device)
                    list.SetItemText(row, 0, QString::number(shown));
            }
        };
        const auto noteOf = [&](int device) { return flags.Note(device, D::kIpColumn); };
        const auto pink = [&](int device) {
            for (int row = 0; row < list.GetItemCount(); ++row) {
                if (list.GetItemText(row, 0).toInt() - 1 == device)
                    return background(list, row, D::kIpColumn) == QColor::fromRgba(DeviceListFlags::kInUseTwiceBk);
            }
            return false;
        };

        for (const char *ip : {"10.77.1.20", "10.77.1.20", "10.77.1.21", "10.77.1.20"})
            add(QLatin1String(ip));
        list.SortByColumn(1, false); // rows and numbers no longer agree
        QVERIFY(pink(0) && pink(1) && !pink(2) && pink(3));

        remove(1);
        QCOMPARE(noteOf(0), QStringLiteral("Address in use twice: 10.77.1.20 is also used by MAC 3"));
        QCOMPARE(noteOf(2), QStringLiteral("Address in use twice: 10.77.1.20 is also used by MAC 0"));
        remove(2);
        QVERIFY(!pink(0) && noteOf(0).isEmpty()); // alone at its address again
        QCOMPARE(list.GetItemCount(), 2);

        add(QStringLiteral("10.77.1.20"));
        flags.Changed(1, QStringLiteral("10.77.1.20"), QStringLiteral("255.255.255.0")); // between the two
        QCOMPARE(noteOf(2), QStringLiteral("Address in use twice: 10.77.1.20 is also used by MAC 0 and MAC 2"));
        flags.Changed(0, QStringLiteral("10.77.1.22"), QStringLiteral("255.255.255.0"));
        QVERIFY(!pink(0) && pink(1) && pink(2));
        flags.Changed(2, QString(), QString());
        QVERIFY(!pink(0) && !pink(1) && !pink(2));
        QVERIFY(noteOf(1).isEmpty());
    }

    void aNoteNamesAFewAndCountsTheRest()
    {
        DialogHarness h;
        for (int n = 0; n < 12; ++n)
            h.dialog->AddSearchedDevice(
                MakeReply(QByteArray("00:00:00:00:00:") + QByteArray::number(10 + n), "10.77.1.9"));
        QCOMPARE(note(h.list(), 11, D::kIpColumn),
                 QStringLiteral("Address in use twice: 10.77.1.9 is also used by 00:00:00:00:00:10, 00:00:00:00:00:11, "
                                "00:00:00:00:00:12, 00:00:00:00:00:13, 00:00:00:00:00:14, 00:00:00:00:00:15, "
                                "00:00:00:00:00:16, 00:00:00:00:00:17 and 3 more"));
    }

    void aSelectedFlagKeepsAFrameOfItsColour()
    {
        DialogHarness h;
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0A", "10.77.1.20"));
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0B", "10.77.1.20"));
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0C", "10.77.1.21"));
        h.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
        selectRows(h, {0, 2});
        const QImage image = h.list().viewport()->grab().toImage();
        const auto pixel = [&](int row, int dx) {
            const QRect cell = h.list().visualRect(h.list().model()->index(row, D::kIpColumn));
            return image.pixelColor(cell.left() + dx, cell.center().y());
        };
        const QColor flag = QColor::fromRgba(DeviceListFlags::kInUseTwiceBk);
        QCOMPARE(pixel(0, 2), flag);  // selected: the frame
        QVERIFY(pixel(0, 8) != flag); // and inside it the highlight
        QCOMPARE(pixel(1, 2), flag);  // not selected: the whole cell
        QCOMPARE(pixel(1, 8), flag);
        QVERIFY(pixel(2, 2) != flag); // selected, no flag
    }

    void flagsOverTheNetworkAndAfterASave()
    {
        DevSim sim;
        QVERIFY(sim.Start(devSimDevices({{"00:1A:2B:3C:4D:01", "10.77.1.30"},
                                         {"00:1A:2B:3C:4D:02", "10.77.1.30"},
                                         {"00:1A:2B:3C:4D:03", "192.168.0.31"}})));
        DialogHarness h;
        h.dialog->OnBnClickedSearch();
        QTRY_COMPARE(h.list().GetItemCount(), 3);
        QCOMPARE(ipNotes(h).keys(), QStringList({"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:03"}));
        QCOMPARE(ipNotes(h).value(QStringLiteral("00:1A:2B:3C:4D:03")),
                 QStringLiteral("Not in 10.77.1.0/24 of veth1: give it an address in that network"));

        // Give the second its own address and move the third into the network: the next search
        // flags nothing.
        const std::pair<QByteArray, const char *> moves[] = {{"00:1A:2B:3C:4D:02", "10.77.1.32"},
                                                             {"00:1A:2B:3C:4D:03", "10.77.1.33"}};
        int saved = 0;
        for (const auto &[mac, ip] : moves) {
            h.dialog->OnNMClickListDevice(h.rowOf(mac));
            h.setText(D::IDC_EDIT_IP, QLatin1String(ip));
            h.setText(D::IDC_EDIT_USERID, QStringLiteral("admin"));
            h.setText(D::IDC_EDIT_PASSWORD, QStringLiteral("secret"));
            h.dialog->OnBnClickedSave();
            ++saved;
            QTRY_COMPARE(h.messages.size(), saved); // its answer, before the next Save
        }
        QCOMPARE(h.messages, QStringList({QStringLiteral("Apply"), QStringLiteral("Apply")}));
        h.dialog->OnBnClickedSearch();
        QTRY_COMPARE(h.list().GetItemCount(), 3);
        QCOMPARE(h.list().GetItemText(h.rowOf("00:1A:2B:3C:4D:03"), D::kIpColumn), QStringLiteral("10.77.1.33"));
        QVERIFY(ipNotes(h).isEmpty());
    }

    void copyPutsCellsOnTheClipboard()
    {
        DialogHarness h;
        CameraInfo vendor = MakeReply("5C:F2:07:00:10:01", "10.77.1.2", "Halvetrano");
        WriteText(vendor.version, "");
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0A", "10.77.1.20"));
        h.dialog->AddSearchedDevice(vendor);
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0C", "10.77.1.22"));
        h.list().SortByColumn(1, false); // list order: vendor, C, A
        DeviceListMenu &menu = menuOf(h);
        QClipboard *clipboard = QApplication::clipboard();

        selectRows(h, {1});
        menu.Popup(QPoint(), 1);
        menu.Menu()->hide();
        menu.Action(QStringLiteral("copyMac"))->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("00:00:00:00:00:0C"));
        menu.Action(QStringLiteral("copyIp"))->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("10.77.1.22"));

        selectRows(h, {2, 0}); // several rows: one line each, in list order
        menu.Action(QStringLiteral("copyRow"))->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("2\t5C:F2:07:00:10:01\t10.77.1.2\tTC-100\t\t\n"
                                                   "1\t00:00:00:00:00:0A\t10.77.1.20\tTC-100\tTalbrixonics\t3.0.0"));
        menu.Action(QStringLiteral("copyMac"))->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("5C:F2:07:00:10:01\n00:00:00:00:00:0A"));

        // Nothing selected: the row the menu was opened for.
        selectRows(h, {});
        menu.Popup(QPoint(), 2);
        menu.Menu()->hide();
        menu.Action(QStringLiteral("copyIp"))->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("10.77.1.20"));
    }

    void tickAllOrNoneAndOpenTheWebPage()
    {
        DialogHarness h;
        CameraInfo https = MakeReply("00:00:00:00:00:0B", "10.77.1.21");
        https.https = 1;
        https.web_port = 8443;
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0A", "10.77.1.20"));
        h.dialog->AddSearchedDevice(https);
        DeviceListMenu &menu = menuOf(h);

        menu.Popup(QPoint(), -1);
        QVERIFY(!menu.Action(QStringLiteral("openWebPage"))->isEnabled());
        menu.Menu()->hide();
        h.list().SetCheck(1, true);
        menu.Action(QStringLiteral("tickAll"))->trigger();
        QCOMPARE(h.list().GetCheck(0) + h.list().GetCheck(1), 2);
        menu.Action(QStringLiteral("tickNone"))->trigger();
        QCOMPARE(h.list().GetCheck(0) + h.list().GetCheck(1), 0);

        menu.Popup(QPoint(), 1);
        QVERIFY(menu.Action(QStringLiteral("openWebPage"))->isEnabled());
        menu.Menu()->hide();
        menu.Action(QStringLiteral("openWebPage"))->trigger();
        h.dialog->OnNMDblclkListDevice(1);
        QCOMPARE(h.openedUrls, QList<QUrl>({QUrl(QStringLiteral("https://10.77.1.21:8443")),
                                            QUrl(QStringLiteral("https://10.77.1.21:8443"))}));
        QCOMPARE(h.dialog->m_nSelected, 1);
    }

    void theMenuOpensFromTheMouseAndTheKeyboard()
    {
        DialogHarness h;
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0A", "10.77.1.20"));
        h.dialog->AddSearchedDevice(MakeReply("00:00:00:00:00:0B", "10.77.1.21"));
        h.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.dialog.get()));
        CReportCtrl &list = h.list();
        QSignalSpy requested(&list, &CReportCtrl::contextMenuRequested);
        QMenu *menu = menuOf(h).Menu();

        list.setFocus();
        list.ApplyRowState(1, RS_FOCUSED | RS_SELECTED);
        QTest::keyClick(&list, Qt::Key_Menu);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(requested.count(), 1);
        QCOMPARE(requested.last().at(1).toInt(), 1);
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!menu->isVisible());
        QVERIFY(h.dialog->isVisible()); // Escape closed the menu, not the window

        QTest::keyClick(&list, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(requested.count(), 2);
        // The menu's own keys reach its items: Tick all.
        QTest::keyClick(menu, Qt::Key_A);
        QTRY_VERIFY(!menu->isVisible());
        QCOMPARE(list.GetCheck(0) + list.GetCheck(1), 2);

        const QPoint onFirst = list.visualRect(list.model()->index(0, 3)).center();
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, onFirst);
        QContextMenuEvent event(QContextMenuEvent::Mouse, onFirst, list.viewport()->mapToGlobal(onFirst));
        QApplication::sendEvent(list.viewport(), &event);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(requested.last().at(1).toInt(), 0);
        menu->hide();
        QCOMPARE(list.GetCheck(0) + list.GetCheck(1), 2); // the right-click changed no check box
    }
};

QTEST_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
