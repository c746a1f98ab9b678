// Times CReportCtrl::SortByColumn on a device list of a large site: 10,000 rows in the main
// dialog's seven columns, each of the six visible columns sorted ascending and descending.
// Usage: corvane-bench-sort [rows] [rounds]

#include "CReportCtrl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
                        median(sortOnly), *std::max_element(sortOnly.begin(), sortOnly.end()), median(withRepaint));
        }
    }
    return 0;
}
