#include "DialogHarness.h"

#include <QFontInfo>
#include <QStyle>
#include <QTest>

using namespace TestNetwork;

namespace {
// Whether the cell shows its whole text: the item view elides what is wider than the cell less
// its margins.
bool showsWhole(const CReportCtrl &list, int row, int column)
{
    const int margin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    const int textWidth = list.fontMetrics().horizontalAdvance(list.GetItemText(row, column));
    return textWidth + 2 * margin <= list.columnWidth(column);
}
} // namespace

class TestDeviceList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(InPrivateNamespace(), "run through netns-run.sh: the main window may broadcast");
    }

    void theDialogFontHasTheTemplateFontsWidths()
    {
        DialogHarness h;
        QVERIFY2(QFontInfo(h.dialog->font()).family() == QStringLiteral("Liberation Sans"),
                 "scripts/deps.sh installs fonts-liberation2, the stand-in for Microsoft Sans Serif");
        QCOMPARE(h.dialog->font().pointSize(), 10);
    }

    void widestMacAndAddressShowWhole()
    {
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
};

QTEST_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
