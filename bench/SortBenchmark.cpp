// Times CReportCtrl::SortByColumn on a device list of a large site: 10,000 rows in the main
// dialog's seven columns, each of the six visible columns sorted ascending and descending;
// then ascending sorts beside the naive way of ordering the rows, which parses both texts at
// every comparison.
// Usage: corvane-bench-sort [rows] [rounds]

#include "BenchSupport.h"
#include "CReportCtrl.h"
#include "CellSortKey.h"
#include "DateTextParser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {
const char *const kHeadings[] = {"   No.", "MAC ADDRESS", "IP ADDRESS", "MODEL NAME", "MANUFACTURER", "VERSION"};

void fillDeviceList(CReportCtrl &list, int rows)
{
    list.InsertColumn(0, QString(), LVCFMT_CENTER, 0, -1);
    for (int i = 0; i < 6; ++i)
        list.InsertColumn(i, QString::fromLatin1(kHeadings[i]), LVCFMT_CENTER, i == 0 ? 50 : 130, -1);
    list.EnableCheckboxes();

    // Fixed seed: every run sorts the same list.
    QRandomGenerator random(20240611);
    const QStringList models{QStringLiteral("TX-IPC-2130"), QStringLiteral("TX-NVR-08"), QStringLiteral("HV-D4215"),
                             QStringLiteral("TX-PTZ-3320")};
    for (int n = 0; n < rows; ++n) {
        const quint32 mac = random.generate() & 0xFFFFFFu;
        const QString cells[] = {
            QString::number(n + 1),
            QString::asprintf("00:1A:2B:%02X:%02X:%02X", mac >> 16, (mac >> 8) & 0xFF, mac & 0xFF),
            QString::asprintf("10.%u.%u.%u", random.bounded(4u), random.bounded(256u), 1 + random.bounded(254u)),
            models[random.bounded(4)],
            random.bounded(3u) == 0 ? QString() : QStringLiteral("Talbrixonics"),
            QString::asprintf("V%u.%u.%u build 2023%02u%02u", 1 + random.bounded(3u), random.bounded(10u),
                              random.bounded(20u), 1 + random.bounded(12u), 1 + random.bounded(28u)),
        };
        list.InsertItem(n, QString());
        for (int j = 0; j < 6; ++j)
            list.SetItemText(n, j, cells[j]);
    }
}

// The naive way: both cells read from the list and parsed again at every comparison (one
// date parser for the whole sort, as the platform's parser keeps its own). Same partitions as
// CReportCtrl::QuickSortIndices, so it makes the same comparisons; the rows are not moved.
void naiveOrder(const CReportCtrl &list, int column, std::vector<int> &rows, int low, int high)
{
    const DateTextParser dates(list.locale());
    const auto compare = [&](int a, int b) {
        return CellSortKey::Compare(CellSortKey(list.GetItemText(a, column), dates),
                                    CellSortKey(list.GetItemText(b, column), dates));
    };
    while (low < high) {
        const int pivot = rows[static_cast<std::size_t>((low + high) / 2)];
        int i = low;
        int j = high;
        do {
            while (compare(rows[static_cast<std::size_t>(i)], pivot) < 0)
                ++i;
            while (compare(rows[static_cast<std::size_t>(j)], pivot) > 0)
                --j;
            if (j < i)
                break;
            std::swap(rows[static_cast<std::size_t>(i)], rows[static_cast<std::size_t>(j)]);
            ++i;
            --j;
        } while (i <= j);
        if (j - low < high - i) {
            naiveOrder(list, column, rows, low, j);
            low = i;
        } else {
            naiveOrder(list, column, rows, i, high);
            high = j;
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    CReportCtrl list;
    list.resize(760, 480);
    list.show();
    QElapsedTimer fillTimer;
    fillTimer.start();
    fillDeviceList(list, rows);
    QApplication::processEvents();
    std::printf("%d rows filled in %.1f ms\n\n", rows, static_cast<double>(fillTimer.nsecsElapsed()) / 1e6);

    std::printf("%-14s %-10s %12s %12s %16s\n", "column", "direction", "median ms", "max ms", "with repaint ms");
    for (int column = 0; column < 6; ++column) {
        for (bool ascending : {true, false}) {
            std::vector<double> sortOnly;
            std::vector<double> withRepaint;
            for (int round = 0; round < rounds; ++round) {
                // Start each round from another order, as a user's previous click leaves it.
                list.SortByColumn((column + 1 + round) % 6, true);
                QApplication::processEvents();
                QElapsedTimer timer;
                timer.start();
                list.SortByColumn(column, ascending);
                sortOnly.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
                QApplication::processEvents();
                withRepaint.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            }
            std::printf("%-14s %-10s %12.1f %12.1f %16.1f\n", kHeadings[column], ascending ? "ascending" : "descending",
                        Median(sortOnly), *std::max_element(sortOnly.begin(), sortOnly.end()), Median(withRepaint));
        }
    }

    std::printf("\n%-14s %14s %18s %8s\n", "column", "ours ms", "naive order ms", "ratio");
    for (int column = 0; column < 6; ++column) {
        std::vector<double> ours;
        for (int round = 0; round < rounds; ++round) {
            list.SortByColumn((column + 1 + round) % 6, true);
            QElapsedTimer timer;
            timer.start();
            list.SortByColumn(column, true);
            ours.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        list.SortByColumn((column + 1) % 6, true);
        std::vector<int> rowOrder(static_cast<std::size_t>(list.GetItemCount()));
        std::iota(rowOrder.begin(), rowOrder.end(), 0);
        QElapsedTimer timer;
        timer.start();
        naiveOrder(list, column, rowOrder, 0, static_cast<int>(rowOrder.size()) - 1);
        const double naive = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        std::printf("%-14s %14.1f %18.1f %8.0f\n", kHeadings[column], Median(ours), naive, naive / Median(ours));
    }
    return 0;
}
