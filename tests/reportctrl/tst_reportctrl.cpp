#include "CReportCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>
#include <numeric>

namespace {
const QStringList kHeadings{QStringLiteral("   No."),     QStringLiteral("MAC ADDRESS"),  QStringLiteral("IP ADDRESS"),
                            QStringLiteral("MODEL NAME"), QStringLiteral("MANUFACTURER"), QStringLiteral("VERSION")};

// The main dialog's set-up: a zero-width placeholder, six headings inserted in front of it,
// then check boxes.
std::unique_ptr<CReportCtrl> makeDeviceList()
{
    auto list = std::make_unique<CReportCtrl>();
    list->resize(700, 400);
    list->InsertColumn(0, QString(), LVCFMT_CENTER, 0, -1);
    for (int i = 0; i < kHeadings.size(); ++i)
        list->InsertColumn(i, kHeadings[i], LVCFMT_CENTER, i == 0 ? 50 : 130, -1);
    list->EnableCheckboxes();
    return list;
}

// One row per text, in column 1; column 0 holds the running number, as the dialog writes it.
std::unique_ptr<CReportCtrl> makeListOf(const QStringList &texts)
{
    auto list = makeDeviceList();
    for (int n = 0; n < texts.size(); ++n) {
        list->InsertItem(n, QString());
        list->SetItemText(n, 0, QString::number(n + 1));
        list->SetItemText(n, 1, texts[n]);
    }
    return list;
}

QStringList columnTexts(const CReportCtrl &list, int column)
{
    QStringList texts;
    for (int row = 0; row < list.GetItemCount(); ++row)
        texts.append(list.GetItemText(row, column));
    return texts;
}

int rowOfNumber(const CReportCtrl &list, int number)
{
    return static_cast<int>(columnTexts(list, 0).indexOf(QString::number(number)));
}

QList<int> selectedRows(const CReportCtrl &list)
{
    QList<int> rows;
    for (const QModelIndex &index : list.selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QPoint textPoint(const CReportCtrl &list, int row)
{
    const QRect cell = list.visualRect(list.model()->index(row, 1));
    return cell.center();
}

void showAndWait(CReportCtrl &list)
{
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
}
} // namespace

class TestReportCtrl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deviceListLayout()
    {
        auto list = makeDeviceList();
        QCOMPARE(list->GetColumnCount(), 7);
        for (int i = 0; i < kHeadings.size(); ++i)
            QCOMPARE(list->model()->headerData(i, Qt::Horizontal).toString(), kHeadings[i]);
        QCOMPARE(list->model()->headerData(6, Qt::Horizontal).toString(), QString());
        QCOMPARE(list->header()->sectionSize(0), 50);
        QCOMPARE(list->header()->sectionSize(1), 130);
        QCOMPARE(list->header()->sectionSize(6), 0);
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignHCenter | Qt::AlignVCenter));

        list->InsertItem(0, QStringLiteral("1"));
        QVERIFY(list->SetColumnFormat(0, LVCFMT_LEFT));
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignLeft | Qt::AlignVCenter));
        QCOMPARE(list->model()->index(0, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
        QVERIFY(!list->SetColumnFormat(7, LVCFMT_LEFT));

        // No sorting of our own accord, no sort mark, no editing.
        QVERIFY(!list->isSortingEnabled());
        QVERIFY(!list->header()->isSortIndicatorShown());
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(list->CanSortByHeader());
    }

    void checkBoxesFollowTheExtendedStyle()
    {
        CReportCtrl list;
        list.InsertColumn(0, QStringLiteral("A"));
        list.InsertItem(0, QStringLiteral("x"));
        QCOMPARE(list.GetExtendedStyle(), 0x22u);
        QVERIFY(!(list.model()->flags(list.model()->index(0, 0)) & Qt::ItemIsUserCheckable));
        QVERIFY(!list.model()->index(0, 0).data(Qt::CheckStateRole).isValid());

        list.SetExtendedStyle(0x22 | 0x100);
        list.EnableCheckboxes();
        QCOMPARE(list.GetExtendedStyle(), 0x126u);
        QVERIFY(list.model()->flags(list.model()->index(0, 0)) & Qt::ItemIsUserCheckable);
        QCOMPARE(list.model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(list.SetCheck(0));
        QCOMPARE(list.GetCheck(0), 1);
        QCOMPARE(list.GetCheck(1), -1);
        QVERIFY(!list.SetCheck(1));
    }

    void rowsAndTheirRecords()
    {
        auto list = makeDeviceList();
        LVITEM item;
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = 5;
        item.pszText = QStringLiteral("first");
        item.lParam = 0x1234;
        QCOMPARE(list->InsertItem(&item), 0);
        QCOMPARE(list->InsertItem(0, QString::fromUtf16(u"ab\0cd", 5)), 0);
        QCOMPARE(list->GetItemText(0, 0), QStringLiteral("ab"));
        QCOMPARE(list->GetItemText(1, 0), QStringLiteral("first"));
        QCOMPARE(list->GetItemData(1)->dwData, quintptr(0x1234));
        QCOMPARE(list->GetItemData(0)->dwData, quintptr(0));
        QCOMPARE(list->GetItemData(0)->aTextColor.size(), 7);
        QCOMPARE(list->GetItemData(0)->aBkColor.size(), 7);

        item.iSubItem = 1;
        QCOMPARE(list->InsertItem(&item), -1);
        QCOMPARE(list->InsertItem(-1, QString()), -1);
        QCOMPARE(list->InsertItem(nullptr), -1);
        QCOMPARE(list->GetItemCount(), 2);
        QVERIFY(!list->SetItemText(2, 0, QStringLiteral("x")));
        QVERIFY(!list->SetItemText(0, 7, QStringLiteral("x")));
        QCOMPARE(list->GetItemText(0, 7), QString());
        QCOMPARE(list->GetItemData(2), nullptr);

        QCOMPARE(list->DeleteAllItems(), 2);
        QCOMPARE(list->GetItemCount(), 0);
        QCOMPARE(list->GetItemData(0), nullptr);
        QCOMPARE(list->DeleteAllItems(), 0);
    }

    // A row keeps its texts together and its colours shared with other rows until they change:
    // each cell still reads back as set, and a colour changes in its own cell only.
    void eachCellKeepsItsOwnTextAndColours()
    {
        auto list = makeListOf({QStringLiteral("a"), QStringLiteral("b")});
        const QString longText(70000, QLatin1Char('x')); // beyond what 16 bits could count
        QVERIFY(list->SetItemText(0, 5, QStringLiteral("five")));
        QVERIFY(list->SetItemText(0, 2, longText));
        QVERIFY(list->SetItemText(0, 6, QStringLiteral("six")));
        QVERIFY(list->SetItemText(0, 2, QStringLiteral("two")));
        QVERIFY(list->SetItemText(1, 3, longText));
        QCOMPARE(list->InsertColumn(0, QStringLiteral("FIRST")), 0);
        QCOMPARE(list->InsertColumn(8, QStringLiteral("LAST")), 8);
        const QStringList first = {"", "1", "a", "two", "", "", "five", "six", ""};
        const QStringList second = {"", "2", "b", "", longText, "", "", "", ""};
        for (int column = 0; column < 9; ++column) {
            QCOMPARE(list->GetItemText(0, column), first[column]);
            QCOMPARE(list->model()->index(0, column).data().toString(), first[column]);
            QCOMPARE(list->GetItemText(1, column), second[column]);
        }

        const QRgb base = list->GetItemData(1)->aBkColor[3];
        QVERIFY(list->SetItemColors(0, 3, 0xFF000000, 0xFFFFFF00));
        QCOMPARE(list->GetItemData(0)->aBkColor[3], QRgb(0xFFFFFF00));
        QCOMPARE(list->GetItemData(0)->aBkColor[4], base);
        QCOMPARE(list->GetItemData(1)->aBkColor[3], base);
        QCOMPARE(list->InsertItem(2, QStringLiteral("c")), 2);
        QCOMPARE(list->GetItemData(2)->aBkColor[3], base);
    }

    void columnInsertedBetweenRowsGetsTheColoursInForce()
    {
        auto list = makeListOf({QStringLiteral("a"), QStringLiteral("b")});
        const QRgb oldText = list->palette().color(QPalette::Text).rgba();
        const QRgb oldBase = list->palette().color(QPalette::Base).rgba();
        QPalette colours = list->palette();
        colours.setColor(QPalette::Text, Qt::darkRed);
        colours.setColor(QPalette::Base, Qt::yellow);
        list->setPalette(colours);

        QCOMPARE(list->InsertColumn(1, QStringLiteral("NEW")), 1);
        QCOMPARE(list->GetColumnCount(), 8);
        for (int row = 0; row < 2; ++row) {
            const ReportItemData *record = list->GetItemData(row);
            QCOMPARE(record->aTextColor.size(), 8);
            QCOMPARE(record->aBkColor.size(), 8);
            for (int column = 0; column < 8; ++column) {
                QCOMPARE(record->aTextColor[column], column == 1 ? QColor(Qt::darkRed).rgba() : oldText);
                QCOMPARE(record->aBkColor[column], column == 1 ? QColor(Qt::yellow).rgba() : oldBase);
            }
            QCOMPARE(list->model()->index(row, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
            QCOMPARE(list->model()->index(row, 2).data(Qt::ForegroundRole).value<QColor>().rgba(), oldText);
            // The texts stay with their columns.
            QCOMPARE(list->GetItemText(row, 1), QString());
            QCOMPARE(list->GetItemText(row, 2), row == 0 ? QStringLiteral("a") : QStringLiteral("b"));
        }
    }

    void cellColoursAreDrawn()
    {
        auto list = makeDeviceList();
        QPalette colours = list->palette();
        colours.setColor(QPalette::Base, QColor(0, 200, 0));
        list->setPalette(colours);
        list->InsertItem(0, QStringLiteral("1"));
        colours.setColor(QPalette::Base, Qt::white);
        list->setPalette(colours);
        list->InsertItem(1, QStringLiteral("2"));
        list->InsertItem(2, QStringLiteral("3"));
        showAndWait(*list);
        // The style tints the focused row; keep it off the rows looked at.
        list->ApplyRowState(2, RS_FOCUSED);

        const QImage image = list->viewport()->grab().toImage();
        const auto pixelRightOfText = [&](int row) {
            const QRect cell = list->visualRect(list->model()->index(row, 5));
            return image.pixelColor(cell.right() - 3, cell.center().y());
        };
        QCOMPARE(pixelRightOfText(0), QColor(0, 200, 0));
        QCOMPARE(pixelRightOfText(1), QColor(Qt::white));
    }

    void headerClicksChooseTheDirection()
    {
        auto list = makeListOf({QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("c")});
        QSignalSpy sorted(list.get(), &CReportCtrl::reportSorted);
        QCOMPARE(list->GetSortColumn(), -1);
        QVERIFY(list->IsSortAscending());

        showAndWait(*list);
        QHeaderView *header = list->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + 10, header->height() / 2));
        list->OnColumnClick(2);
        list->OnColumnClick(3);
        QCOMPARE(sorted.count(), 3);
        QCOMPARE(sorted.at(0), QVariantList({2, true}));
        QCOMPARE(sorted.at(1), QVariantList({2, false}));
        QCOMPARE(sorted.at(2), QVariantList({3, true}));

        list->OnColumnClick(1);
        list->OnColumnClick(1);
        QCOMPARE(columnTexts(*list, 1), QStringList({"c", "b", "a"}));
        QCOMPARE(list->GetSortColumn(), 1);
        QVERIFY(!list->IsSortAscending());

        // A new row forgets the sort: the same heading sorts ascending again.
        list->InsertItem(3, QString());
        QCOMPARE(list->GetSortColumn(), -1);
        QVERIFY(list->IsSortAscending());
        list->OnColumnClick(1);
        QVERIFY(list->IsSortAscending());

        list->SortByColumn(1, false);
        list->SetItemText(0, 1, QStringLiteral("z"));
        QCOMPARE(list->GetSortColumn(), -1);
        QVERIFY(list->IsSortAscending());
    }

    void sortWithFewRowsStillRecordsAndSignals()
    {
        for (const QStringList &texts : {QStringList(), QStringList{QStringLiteral("only")}}) {
            auto list = makeListOf(texts);
            QSignalSpy sorted(list.get(), &CReportCtrl::reportSorted);
            list->OnColumnClick(4);
            QCOMPARE(sorted.count(), 1);
            QCOMPARE(sorted.at(0), QVariantList({4, true}));
            QCOMPARE(list->GetSortColumn(), 4);
            QCOMPARE(columnTexts(*list, 1), texts);
        }
    }

    void noSortWithoutClickableHeadings()
    {
        auto list = makeListOf({QStringLiteral("b"), QStringLiteral("a")});
        QSignalSpy sorted(list.get(), &CReportCtrl::reportSorted);
        list->OnColumnClick(-1);
        list->OnColumnClick(7);
        list->header()->setSectionsClickable(false);
        QVERIFY(!list->CanSortByHeader());
        list->OnColumnClick(1);
        list->header()->setSectionsClickable(true);
        list->setHeaderHidden(true);
        QVERIFY(!list->CanSortByHeader());
        list->OnColumnClick(1);
        QCOMPARE(sorted.count(), 0);
        QCOMPARE(list->GetSortColumn(), -1);
        QCOMPARE(columnTexts(*list, 1), QStringList({"b", "a"}));
    }

    void sortsByTypedComparison_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("ascending");
        QTest::newRow("digits") << QStringList{"10", "9", "2"} << QStringList{"2", "9", "10"};
        QTest::newRow("per cent") << QStringList{"50%", "7.5", "100%"} << QStringList{"7.5", "50%", "100%"};
        QTest::newRow("abc is hex") << QStringList{"abc", "5"} << QStringList{"5", "abc"};
        QTest::newRow("A after 9") << QStringList{"A", "9"} << QStringList{"9", "A"};
        QTest::newRow("dates") << QStringList{"2021-03-04", "1850-01-01", "1899-12-29 18:00", "1899-12-29 06:00"}
                               << QStringList{"1850-01-01", "1899-12-29 06:00", "1899-12-29 18:00", "2021-03-04"};
        QTest::newRow("MAC addresses") << QStringList{"00:1A:2B:3C:4D:5E", "00:1A:2B:00:00:01", "00:1a:2B:3C:4D:5E"}
                                       << QStringList{"00:1A:2B:00:00:01", "00:1A:2B:3C:4D:5E", "00:1a:2B:3C:4D:5E"};
    }

    void sortsByTypedComparison()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, ascending);
        auto list = makeListOf(texts);
        list->SortByColumn(1, true);
        QCOMPARE(columnTexts(*list, 1), ascending);
        list->SortByColumn(1, false);
        std::reverse(ascending.begin(), ascending.end());
        QCOMPARE(columnTexts(*list, 1), ascending);
    }

    void rowKeepsItsStateThroughASort()
    {
        auto list = makeDeviceList();
        showAndWait(*list);
        QPalette colours = list->palette();
        for (int n = 0; n < 40; ++n) {
            // Each row is inserted under its own colours.
            colours.setColor(QPalette::Text, QColor::fromRgb(n, 0, 0));
            colours.setColor(QPalette::Base, QColor::fromRgb(0, n, 255));
            list->setPalette(colours);
            LVITEM item;
            item.mask = LVIF_PARAM;
            item.iItem = n;
            item.lParam = quintptr(1000 + n);
            list->InsertItem(&item);
            list->SetItemText(n, 0, QString::number(n + 1));
            list->SetItemText(n, 1, QString::asprintf("00:1A:2B:3C:4D:%02X", (n * 7) % 40));
        }
        for (int row : {3, 17, 30})
            list->SetCheck(row);
        for (int row : {4, 17, 22})
            list->ApplyRowState(row, RS_SELECTED);
        list->ApplyRowState(22, RS_FOCUSED);
        std::vector<unsigned> stateOf(41);
        for (int row = 0; row < 40; ++row)
            stateOf[static_cast<std::size_t>(row + 1)] = list->GetRowState(row);

        for (int column : {1, 0}) {
            for (bool ascending : {true, false}) {
                list->SortByColumn(column, ascending);
                for (int number = 1; number <= 40; ++number) {
                    const int row = rowOfNumber(*list, number);
                    QCOMPARE(list->GetRowState(row), stateOf[static_cast<std::size_t>(number)]);
                    const ReportItemData *record = list->GetItemData(row);
                    QCOMPARE(record->dwData, quintptr(1000 + number - 1));
                    QCOMPARE(list->model()->index(row, 3).data(Qt::BackgroundRole).value<QColor>(),
                             QColor::fromRgb(0, number - 1, 255));
                    QCOMPARE(record->aTextColor[6], QColor::fromRgb(number - 1, 0, 0).rgba());
                }
            }
        }
        QCOMPARE(columnTexts(*list, 0).first(), QStringLiteral("40"));
        QCOMPARE(selectedRows(*list).size(), 3);
    }

    void sortRowRangeSortsOnlyItsRows()
    {
        auto list = makeListOf({"5", "4", "3", "2", "1"});
        for (const auto &[first, last] : {std::pair{-1, 2}, std::pair{2, 2}, std::pair{3, 1}, std::pair{0, 5}})
            QVERIFY(!list->SortRowRange(first, last));
        list->SortByColumn(1, true);
        list->SortByColumn(1, false);
        QVERIFY(list->SortRowRange(1, 3));
        QCOMPARE(columnTexts(*list, 1), QStringList({"5", "4", "3", "2", "1"}));
        list->SortByColumn(1, true);
        list->SetCheck(0);
        QCOMPARE(list->GetSortColumn(), 1);
        QVERIFY(list->SortRowRange(0, 2));
        QCOMPARE(columnTexts(*list, 1), QStringList({"1", "2", "3", "4", "5"}));
    }

    void quickSortOrdersIndicesNotRows()
    {
        auto list = makeListOf({"10", "20", "15", "30"});
        list->SortByColumn(1, false);
        const QStringList rows = columnTexts(*list, 1);
        QCOMPARE(rows, QStringList({"30", "20", "15", "10"}));
        QCOMPARE(list->CompareCells(0, 3), 1);
        QCOMPARE(list->CompareCells(3, 0), -1);
        QCOMPARE(list->CompareCells(2, 2), 0);

        std::vector<int> indices{3, 1, 0, 2};
        list->QuickSortIndices(indices, 0, 3);
        QCOMPARE(indices, std::vector<int>({0, 1, 2, 3}));
        QCOMPARE(columnTexts(*list, 1), rows);
    }

    void mixedTextsSortWithoutFault()
    {
        QStringList texts;
        QRandomGenerator random(3);
        const QString alphabet = QStringLiteral("0123456789abcxX+-.%: e/");
        for (int n = 0; n < 3000; ++n) {
            QString text;
            for (int k = random.bounded(9); k > 0; --k)
                text += alphabet[random.bounded(alphabet.size())];
            texts.append(text);
        }
        auto list = makeListOf(texts);
        for (bool ascending : {true, false}) {
            list->SortByColumn(1, ascending);
            QStringList after = columnTexts(*list, 1);
            QStringList expected = texts;
            std::sort(after.begin(), after.end());
            std::sort(expected.begin(), expected.end());
            QCOMPARE(after, expected);
        }
    }

    void applyAndReadRowState()
    {
        auto list = makeListOf({"a", "b"});
        QVERIFY(!list->ApplyRowState(0, 0));
        QVERIFY(!list->ApplyRowState(2, RS_SELECTED));
        QCOMPARE(list->GetRowState(2), RS_UNSELECTED | RS_UNCHECKED | RS_UNFOCUSED);
        QVERIFY(list->ApplyRowState(1, RS_SELECTED | RS_CHECKED | RS_FOCUSED));
        QCOMPARE(list->GetRowState(1), RS_SELECTED | RS_CHECKED | RS_FOCUSED);
        QCOMPARE(list->GetRowState(0), RS_UNSELECTED | RS_UNCHECKED | RS_UNFOCUSED);
        QVERIFY(list->ApplyRowState(1, RS_UNSELECTED | RS_UNCHECKED | RS_UNFOCUSED));
        QCOMPARE(list->GetRowState(1), RS_UNSELECTED | RS_UNCHECKED | RS_UNFOCUSED);
    }

    void checkChangeSelectsOnlyThatRow()
    {
        auto list = makeListOf({"a", "b", "c"});
        QSignalSpy checked(list.get(), &CReportCtrl::reportItemChecked);
        list->ApplyRowState(0, RS_SELECTED);
        list->ApplyRowState(2, RS_SELECTED | RS_FOCUSED);
        QVERIFY(!list->HandleCheckChange(1, true, true, CReportCtrl::WM_RBUTTONDOWN));
        QVERIFY(!list->HandleCheckChange(3, false, true, CReportCtrl::WM_RBUTTONDOWN));
        QVERIFY(!list->HandleCheckChange(-1, false, true, CReportCtrl::WM_RBUTTONDOWN));
        QCOMPARE(checked.count(), 0);
        QVERIFY(list->HandleCheckChange(1, false, true, CReportCtrl::WM_MBUTTONDBLCLK));
        QCOMPARE(selectedRows(*list), QList<int>({1}));
        QCOMPARE(list->currentIndex().row(), 1);
        QCOMPARE(checked.count(), 1);
        QCOMPARE(checked.at(0), QVariantList({1, 0x0209u}));
    }

    void clickOnCheckBox()
    {
        auto list = makeListOf({"a", "b", "c"});
        showAndWait(*list);
        list->ApplyRowState(0, RS_SELECTED);
        list->ApplyRowState(2, RS_SELECTED | RS_FOCUSED);
        QStringList events;
        connect(list.get(), &CReportCtrl::reportItemChecked, this, [&events](int row, unsigned code) {
            events.append(QStringLiteral("checked %1 %2").arg(row).arg(code, 0, 16));
        });
        connect(list.get(), &CReportCtrl::itemClicked, this,
                [&events](int row) { events.append(QStringLiteral("clicked %1").arg(row)); });
        connect(list.get(), &CReportCtrl::itemDoubleClicked, this,
                [&events](int row) { events.append(QStringLiteral("double-clicked %1").arg(row)); });

        const QPoint checkBox = list->GetCheckBoxRect(1).center();
        QVERIFY(!checkBox.isNull());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBox);
        QCOMPARE(list->GetCheck(1), 1);
        QCOMPARE(selectedRows(*list), QList<int>({1}));
        QCOMPARE(list->GetRowState(1), RS_SELECTED | RS_CHECKED | RS_FOCUSED);
        QCOMPARE(events, QStringList({"checked 1 201", "clicked 1"}));

        // The second click of a double-click takes the tick away again.
        events.clear();
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, checkBox);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, checkBox);
        QCOMPARE(list->GetCheck(1), 0);
        QCOMPARE(events, QStringList({"checked 1 203", "double-clicked 1"}));

        // A click on a row's text changes no check box: the view selects, nothing is reported.
        events.clear();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, textPoint(*list, 2));
        QCOMPARE(selectedRows(*list), QList<int>({2}));
        QCOMPARE(list->GetCheck(2), 0);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->GetCheckBoxRect(0).center());
        QCOMPARE(list->GetCheck(0), 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, list->viewport()->height() - 5));
        QCOMPARE(events, QStringList({"clicked 2", "clicked -1"}));
    }

    void spaceBarChangesNothing()
    {
        auto list = makeListOf({"a", "b", "c"});
        showAndWait(*list);
        list->setFocus();
        list->ApplyRowState(0, RS_SELECTED);
        list->ApplyRowState(1, RS_FOCUSED);
        QSignalSpy checked(list.get(), &CReportCtrl::reportItemChecked);
        for (Qt::KeyboardModifiers modifiers :
             {Qt::NoModifier, Qt::ControlModifier, Qt::ShiftModifier, Qt::AltModifier}) {
            QTest::keyClick(list.get(), Qt::Key_Space, modifiers);
            QCOMPARE(list->GetRowState(0), RS_SELECTED | RS_UNCHECKED | RS_UNFOCUSED);
            QCOMPARE(list->GetRowState(1), RS_UNSELECTED | RS_UNCHECKED | RS_FOCUSED);
        }
        QCOMPARE(checked.count(), 0);
        // Other keys still reach the view.
        QTest::keyClick(list.get(), Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 2);
    }

    void columnsWidenToTheirTextsAndNeverNarrow()
    {
        auto list = makeListOf({QStringLiteral("short"), QString(40, QLatin1Char('W')), QStringLiteral("x")});
        list->InsertColumn(7, QStringLiteral("later"), LVCFMT_LEFT, 40, -1);
        list->SetItemText(0, 7, QString()); // an empty cell needs no room
        list->FitColumnsToRow(0);
        QCOMPARE(list->columnWidth(1), 130);
        QCOMPARE(list->columnWidth(6), 0); // the placeholder stays hidden
        QCOMPARE(list->columnWidth(7), 40);

        list->FitColumnsToRow(1);
        const int wide = list->columnWidth(1);
        QVERIFY(wide > 130);
        QVERIFY(wide >= list->fontMetrics().horizontalAdvance(QString(40, QLatin1Char('W'))));
        QCOMPARE(list->columnWidth(0), 50); // its number fitted already

        list->FitColumnsToRow(2); // a narrow text takes nothing back
        list->FitColumnsToRow(-1);
        list->FitColumnsToRow(3);
        QCOMPARE(list->columnWidth(1), wide);
    }

    void aColumnTheUserSizedKeepsItsWidth()
    {
        auto list = makeListOf({QStringLiteral("x")});
        showAndWait(*list);
        QHeaderView *header = list->header();
        QVERIFY(!list->IsColumnSizedByUser(1));

        // Drag the right edge of MAC ADDRESS 40 pixels to the left.
        const int edge = header->sectionViewportPosition(1) + header->sectionSize(1) - 1;
        const int y = header->height() / 2;
        QWidget *target = header->viewport();
        const auto send = [target](QEvent::Type type, int x, int atY, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(x, atY), target->mapToGlobal(QPointF(x, atY)),
                              type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        };
        send(QEvent::MouseMove, edge, y, Qt::NoButton);
        send(QEvent::MouseButtonPress, edge, y, Qt::LeftButton);
        send(QEvent::MouseMove, edge - 20, y, Qt::LeftButton);
        send(QEvent::MouseMove, edge - 40, y, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, edge - 40, y, Qt::NoButton);
        QCOMPARE(list->columnWidth(1), 90);
        QVERIFY(list->IsColumnSizedByUser(1));
        QVERIFY(!list->IsColumnSizedByUser(2));

        list->SetItemText(0, 1, QString(40, QLatin1Char('W')));
        list->SetItemText(0, 2, QString(40, QLatin1Char('W')));
        list->FitColumnsToRow(0);
        QCOMPARE(list->columnWidth(1), 90);
        QVERIFY(list->columnWidth(2) > 130);
        QVERIFY(!list->IsColumnSizedByUser(2)); // the control's own widening is not the user's
    }
};

QTEST_MAIN(TestReportCtrl)
#include "tst_reportctrl.moc"
