// Times what the device list's flags and column widening add to listing 10,000 devices, side by
// side with the same rows listed without them, in one run: a shown CReportCtrl set up as the main
// window's, rows put in as the main window does, in 8 ms slices with layout and painting between.
// Devices are judged by a /24 adapter, so most are also outside its network. Address patterns:
// every device its own address; every device on one address (each row flagged twice); pairs
// (every second device recolours an earlier row), with the list sorted halfway, so that the
// rows of earlier devices must be found again.
// Usage: corvane-bench-flags [rows] [runs]; run it like the others through tests/netns-run.sh.

#include "BenchSupport.h"
#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "DeviceListFlags.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
enum class Extras { None, Widening, WideningAndFlags };
enum class Addresses { Distinct, OneForAll, Pairs };

const char *nameOf(Addresses addresses)
{
    switch (addresses) {
    case Addresses::Distinct: return "distinct addresses";
    case Addresses::OneForAll: return "one address for all";
    case Addresses::Pairs: return "pairs, sorted halfway";
    }
    return "";
}

QString ipOf(int n, Addresses addresses)
{
    switch (addresses) {
    case Addresses::Distinct: return QString::asprintf("10.77.%d.%d", 1 + n / 250, 1 + n % 250);
    case Addresses::OneForAll: return QStringLiteral("192.168.0.100");
    case Addresses::Pairs: return QString::asprintf("10.77.%d.%d", 1 + n / 500, 1 + (n / 2) % 250);
    }
    return {};
}

struct Result
{
    double totalMs = 0;
    double wideningMs = 0; // inside FitColumnsToRow
    double flagsMs = 0;    // inside DeviceListFlags::Added
    double sortMs = 0;
    double notesMs = 0;
};

Result listRows(int rows, Extras extras, Addresses addresses)
{
    CReportCtrl list;
    list.resize(702, 520);
    list.InsertColumn(0, QString(), LVCFMT_CENTER, 0, -1);
    const int shares[] = {50, 130, 130, 130, 130, 130};
    for (int i = 0; i < 6; ++i)
        list.InsertColumn(i, QStringLiteral("heading"), LVCFMT_CENTER, 702 * shares[i] / 700, -1);
    list.EnableCheckboxes();
    const auto deviceOfRow = [&list](int row) {
        return std::atoi(list.GetItemText(row, 0).toLatin1().constData()) - 1;
    };
    const auto macOf = [](int n) {
        return QString::asprintf("02:00:00:%02X:%02X:%02X", (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff);
    };
    DeviceListFlags flags(list, deviceOfRow, macOf);
    CNetworkAdapterObj adapter; // devices are judged by a /24 as well
    adapter.m_strName = QStringLiteral("veth1");
    adapter.m_strAddress = QStringLiteral("10.77.1.1");
    adapter.m_nPrefixLength = 24;
    flags.SetAdapter(&adapter);
    list.SetCellNotes([&](int row, int column) { return flags.Note(deviceOfRow(row), column); });
    QObject::connect(&list, &CReportCtrl::reportSorted, [&flags] { flags.RowsMoved(); });
    list.show();
    QApplication::processEvents();

    Result result;
    QElapsedTimer total;
    total.start();
    int n = 0;
    while (n < rows) {
        QElapsedTimer slice;
        slice.start();
        while (n < rows && slice.elapsed() < CTalbrixReceveSocket::kHandOverSliceMs) {
            const QString cells[] = {QString::number(n + 1),
                                     macOf(n),
                                     ipOf(n, addresses),
                                     QStringLiteral("TC-100"),
                                     QStringLiteral("Talbrixonics"),
                                     QStringLiteral("3.0.0")};
            list.InsertItem(n, QString());
            for (int j = 0; j < 6; ++j) {
                list.SetItemText(n, j, cells[j]);
                list.SetColumnFormat(j, LVCFMT_LEFT);
            }
            if (extras != Extras::None) {
                const qint64 start = MonotonicNs();
                list.FitColumnsToRow(n);
                result.wideningMs += static_cast<double>(MonotonicNs() - start) / 1e6;
            }
            if (extras == Extras::WideningAndFlags) {
                const qint64 start = MonotonicNs();
                flags.Added(n, n, cells[1], cells[2], QStringLiteral("255.255.255.0"));
                result.flagsMs += static_cast<double>(MonotonicNs() - start) / 1e6;
            }
            ++n;
            if (addresses == Addresses::Pairs && n == rows / 2)
                list.SortByColumn(1, false);
        }
        QApplication::processEvents();
    }
    result.totalMs = static_cast<double>(total.nsecsElapsed()) / 1e6;

    QElapsedTimer sort;
    sort.start();
    list.SortByColumn(2, true);
    QApplication::processEvents();
    result.sortMs = static_cast<double>(sort.nsecsElapsed()) / 1e6;

    // Every IP cell's tooltip asked for once, as hovering would.
    QElapsedTimer notes;
    notes.start();
    qsizetype length = 0;
    for (int row = 0; row < rows; ++row)
        length += list.model()->index(row, CCorvaneDlg::kIpColumn).data(Qt::ToolTipRole).toString().size();
    result.notesMs = static_cast<double>(notes.nsecsElapsed()) / 1e6;
    if (extras == Extras::WideningAndFlags && addresses != Addresses::Distinct && length == 0)
        std::fprintf(stderr, "no notes: the flags did not work\n");
    return result;
}
} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    const std::pair<Extras, const char *> variants[] = {{Extras::None, "plain"},
                                                        {Extras::Widening, "+ widening"},
                                                        {Extras::WideningAndFlags, "+ widening + flags"}};
    for (Addresses addresses : {Addresses::Distinct, Addresses::OneForAll, Addresses::Pairs}) {
        // The variants take turns, so that the machine's other work falls on all of them alike.
        std::vector<Result> results[3];
        for (int run = 0; run < runs; ++run) {
            for (int v = 0; v < 3; ++v)
                results[v].push_back(listRows(rows, variants[v].first, addresses));
        }
        for (int v = 0; v < 3; ++v) {
            std::vector<double> totals, widening, flagging, sorts, notes;
            for (const Result &result : results[v]) {
                totals.push_back(result.totalMs);
                widening.push_back(result.wideningMs);
                flagging.push_back(result.flagsMs);
                sorts.push_back(result.sortMs);
                notes.push_back(result.notesMs);
            }
            std::printf("%-22s %-20s listing %d rows: median %.1f ms, of which widening %.1f ms, flags %.1f ms; "
                        "sort by IP %.1f ms; every IP tooltip %.1f ms\n",
                        nameOf(addresses), variants[v].second, rows, Median(totals), Median(widening), Median(flagging),
                        Median(sorts), Median(notes));
        }
    }
    return 0;
}
