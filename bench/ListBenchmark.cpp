// Times the device list of a large site without the network: records go straight into
// CCorvaneDlg::AddSearchedDevice of the real, shown main window. Also times the duplicate check
// against the naive one (every record compared with every listed device).
// Then, on the full list, the longest time the user-interface thread is held by a click on each
// column's heading (sorting), by choosing another adapter (every device judged again and its
// flags recoloured) and by scrolling page by page, each with the repaint it causes; and the
// heap the listed devices take, and a device leaving the full list.
// Usage: corvane-bench-list [rows]; run it like the others through tests/netns-run.sh.

#include "BenchSupport.h"
#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "RecordText.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QScrollBar>

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
constexpr int kLargestNaive = 20000;

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

// How long one step holds the user-interface thread, with the layout and painting it causes.
template<typename Step>
double heldMs(Step step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    QApplication::processEvents();
    return msSince(timer);
}

std::size_t heapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
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
    const std::size_t heapBefore = heapBytesInUse();

    // Listing, in the slices the receive socket hands over, with the view's layout and painting
    // between them.
    QElapsedTimer total;
    total.start();
    double adding = 0;
    double longestSlice = 0;
    double longestSliceAdding = 0;
    std::size_t rowsAtLongest = 0;
    std::size_t next = 0;
    while (next < replies.size()) {
        QElapsedTimer slice;
        slice.start();
        while (next < replies.size() && slice.elapsed() < CTalbrixReceveSocket::kHandOverSliceMs)
            dialog.AddSearchedDevice(replies[next++]);
        const double sliceAdding = msSince(slice);
        adding += sliceAdding;
        QApplication::processEvents();
        if (msSince(slice) > longestSlice) {
            longestSlice = msSince(slice);
            longestSliceAdding = sliceAdding;
            rowsAtLongest = next;
        }
    }
    std::printf("listing %d devices: %.1f ms in all, %.1f ms in AddSearchedDevice (%.1f us a row), longest slice "
                "with layout and paint %.1f ms (%.1f ms adding, up to row %zu)\n",
                rows, msSince(total), adding, adding * 1000.0 / rows, longestSlice, longestSliceAdding, rowsAtLongest);
    std::printf("heap taken by the listed devices: %.1f MB (%.0f bytes a device)\n",
                static_cast<double>(heapBytesInUse() - heapBefore) / 1048576.0,
                static_cast<double>(heapBytesInUse() - heapBefore) / rows);

    // What a person does with the full list, each step timed with its repaint.
    CReportCtrl &list = *dialog.m_listDevice;
    double longestSort = 0;
    for (int column = 0; column < CCorvaneDlg::kShownColumns; ++column) {
        for (int click = 0; click < 2; ++click) // ascending, then descending
            longestSort = std::max(longestSort, heldMs([&] { list.OnColumnClick(column); }));
    }
    double longestFlag = 0;
    for (int k = 0; k < 2 * dialog.m_comboAdapter->count(); ++k) {
        longestFlag = std::max(longestFlag, heldMs([&] {
                                   dialog.m_comboAdapter->setCurrentIndex((k + 1) % dialog.m_comboAdapter->count());
                               }));
    }
    QScrollBar &scroll = *list.verticalScrollBar();
    double longestScroll = 0;
    for (int value = 0; value <= scroll.maximum(); value += std::max(1, scroll.maximum() / 200))
        longestScroll = std::max(longestScroll, heldMs([&] { scroll.setValue(value); }));
    longestScroll = std::max(longestScroll, heldMs([&] { scroll.setValue(0); }));
    std::printf("on %d rows, longest hold with repaint: sort %.1f ms (12 clicks), flags judged again %.1f ms "
                "(%d adapters), scroll %.1f ms (200 jumps down, and back to the top)\n",
                rows, longestSort, longestFlag, dialog.m_comboAdapter->count(), longestScroll);

    // The worst a device leaving the list costs (an ONVIF row a login shows to be a listed
    // device): the first, after which every row is numbered again.
    const double forget = heldMs([&] { dialog.ForgetDevice(0); });
    std::printf("on %d rows, the first device leaving the list holds it %.1f ms with repaint\n", rows, forget);

    // The naive check grows with the square of the devices: minutes at 65,000.
    if (rows > kLargestNaive)
        return 0;

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
