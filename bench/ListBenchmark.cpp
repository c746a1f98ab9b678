// Times the device list of a large site without the network: records go straight into
// CCorvaneDlg::AddSearchedDevice of the real, shown main window. Also times the duplicate check
// against the naive one (every record compared with every listed device).
// Usage: corvane-bench-list [rows]; run it like the others through tests/netns-run.sh.

#include "BenchSupport.h"
#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "RecordText.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
std::vector<CameraInfo> makeReplies(int count)
{
    std::vector<CameraInfo> replies(static_cast<std::size_t>(count));
    for (int n = 0; n < count; ++n) {
        CameraInfo &info = replies[static_cast<std::size_t>(n)];
        info.header.cmd = CMD_SEARCH_REPLY;
        WriteText(info.mac_addr,
                  QString::asprintf("02:00:00:%02X:%02X:%02X", (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff).toLatin1());
        WriteText(info.ip_addr, QString::asprintf("10.77.%d.%d", 1 + n / 250, 1 + n % 250).toLatin1());
        WriteText(info.subnet_mask, "255.255.0.0");
        WriteText(info.model_name, "TC-100");
        WriteText(info.manufacturer, "Talbrixonics");
        WriteText(info.version, "3.0.0");
        info.web_port = 80;
    }
    return replies;
}

double msSince(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// What the duplicate check would cost done as described for a small site: the record's MAC text
// compared with every listed device's, all of them, each time.
int naiveListed(const std::vector<std::unique_ptr<CCameraInfoObj>> &devices, std::size_t listed,
                const CameraInfo &record)
{
    int found = 0;
    for (std::size_t i = 0; i < listed; ++i) {
        if (std::strncmp(devices[i]->m_CameraInfo.mac_addr, record.mac_addr, sizeof record.mac_addr) == 0)
            found = 1;
    }
    return found;
}
} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const std::vector<CameraInfo> replies = makeReplies(rows);

    CorvaneServices services;
    services.messageBox = [](QWidget *, const QString &) {};
    services.openUrl = [](const QUrl &) {};
    CCorvaneDlg dialog(services);
    dialog.show();
    QApplication::processEvents();

    // Listing, in the slices the receive socket hands over, with the view's layout and painting
    // between them.
    QElapsedTimer total;
    total.start();
    double adding = 0;
    double longestSlice = 0;
    std::size_t next = 0;
    while (next < replies.size()) {
        QElapsedTimer slice;
        slice.start();
        while (next < replies.size() && slice.elapsed() < CTalbrixReceveSocket::kHandOverSliceMs)
            dialog.AddSearchedDevice(replies[next++]);
        adding += msSince(slice);
        QApplication::processEvents();
        longestSlice = std::max(longestSlice, msSince(slice));
    }
    std::printf("listing %d devices: %.1f ms in all, %.1f ms in AddSearchedDevice (%.1f us a row), longest slice "
                "with layout and paint %.1f ms\n",
                rows, msSince(total), adding, adding * 1000.0 / rows, longestSlice);

    // Duplicate check while the list grows: ours (a set of MAC texts) and the naive one.
    QSet<QByteArray> macs;
    QElapsedTimer ours;
    ours.start();
    int added = 0;
    for (const CameraInfo &record : replies) {
        const QByteArray mac = ReadText(record.mac_addr);
        if (!macs.contains(mac)) {
            macs.insert(mac);
            ++added;
        }
    }
    const double oursMs = msSince(ours);
    QElapsedTimer naive;
    naive.start();
    int naiveAdded = 0;
    for (std::size_t i = 0; i < replies.size(); ++i)
        naiveAdded += naiveListed(dialog.m_arrDevices, i, replies[i]) ? 0 : 1;
    const double naiveMs = msSince(naive);
    std::printf("duplicate checks while listing %d devices: ours %.2f ms, naive %.1f ms (x%.0f); %d and %d added\n",
                rows, oursMs, naiveMs, naiveMs / oursMs, added, naiveAdded);

    // Every device answering a second time: each answer is checked against the full list.
    QElapsedTimer again;
    again.start();
    int rejected = 0;
    for (const CameraInfo &record : replies)
        rejected += dialog.AddSearchedDevice(record) == 0 ? 1 : 0;
    const double againMs = msSince(again);
    QElapsedTimer naiveAgain;
    naiveAgain.start();
    int naiveRejected = 0;
    for (const CameraInfo &record : replies)
        naiveRejected += naiveListed(dialog.m_arrDevices, dialog.m_arrDevices.size(), record);
    const double naiveAgainMs = msSince(naiveAgain);
    std::printf("%d answers again: AddSearchedDevice %.2f ms, naive check alone %.1f ms (x%.0f); %d and %d rejected\n",
                rows, againMs, naiveAgainMs, naiveAgainMs / againMs, rejected, naiveRejected);
    return 0;
}
