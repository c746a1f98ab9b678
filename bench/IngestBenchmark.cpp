// Times a search on a large site: corvane-devsim in device namespace 1 answers each search with N
// distinct devices at once, and the real main window lists them through its real receive path.
// Runs only inside the namespaces of tests/netns-run.sh:
//   tests/netns-run.sh build-release/bench/corvane-bench-ingest [devices] [runs] [receive buffer bytes]
//       [burst|site] [more corvane-devsim options...]
// "burst": every answer from the simulator's one address, in the devices' order; "site": each
// device from its own address, in a new random order for every request.
// Prints one table row per run: requests sent, first reply to last row listed, last reply to last
// row, devices lost after all repeats, the kernel's drops on each reply socket, the longest gap
// between two ticks of a 2 ms timer on the user-interface thread, and the process's peak memory;
// and from the first reply to the first row listed and to the first paint of the list after it.

#include "BenchSupport.h"
#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "RecordText.h"
#include "SharedHeap.h"
#include "TestNetwork.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {
double ms(qint64 ns)
{
    return static_cast<double>(ns) / 1e6;
}

// The lines of a /proc file; their size reads as 0, so QFile::atEnd() cannot be asked.
QList<QByteArray> procLines(const char *path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

// A value from /proc/self/status, in kB.
long statusKb(const char *key)
{
    const QList<QByteArray> lines = procLines("/proc/self/status");
    for (const QByteArray &line : lines) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// What the kernel dropped on each reply socket for want of room: its drop count less the copies
// of other shares its filter turned away (every copy of a broadcast it did not keep).
QString dropsPerSocket(const SocketGroup &group, int devices, int requests)
{
    const std::vector<qint64> drops = group.KernelDrops();
    const std::size_t sockets = group.Sockets().size();
    if (drops.empty())
        return QStringLiteral("?");
    if (sockets == 1)
        return QString::number(drops.front());
    // The answers of each share per request, from the generated MACs.
    std::vector<qint64> share(sockets, 0);
    for (int n = 0; n < devices; ++n) {
        CameraInfo record{};
        WriteText(record.mac_addr, QStringLiteral("02:00:00:%1:%2:%3")
                                       .arg((n >> 16) & 0xff, 2, 16, QLatin1Char('0'))
                                       .arg((n >> 8) & 0xff, 2, 16, QLatin1Char('0'))
                                       .arg(n & 0xff, 2, 16, QLatin1Char('0'))
                                       .toUpper()
                                       .toLatin1());
        ++share[static_cast<std::size_t>(group.ShareOf(ToDatagram(record)))];
    }
    const qint64 broadcasts = drops.back();
    QStringList parts;
    for (std::size_t k = 0; k < sockets; ++k)
        parts << QString::number(drops[k] - (broadcasts - share[k] * requests));
    return parts.join(QLatin1Char('/'));
}

// Udp RcvbufErrors of /proc/net/snmp, for this network namespace.
long receiveBufferErrors()
{
    QList<QByteArray> names;
    const QList<QByteArray> lines = procLines("/proc/net/snmp");
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.isEmpty() || fields.first() != "Udp:")
            continue;
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        const qsizetype column = names.indexOf("RcvbufErrors");
        return column > 0 && column < fields.size() ? fields[column].toLong() : -1;
    }
    return -1;
}

// CPU time (user and system) of each thread of this process by name, in ms.
QMap<QByteArray, double> threadCpuMs()
{
    QMap<QByteArray, double> result;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    const double tick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &id : ids) {
        const QByteArray stat = procLines(qPrintable(tasks.filePath(id + QStringLiteral("/stat")))).value(0);
        // comm is in parentheses and may hold blanks; the fields after it are plain.
        const qsizetype open = stat.indexOf('(');
        const qsizetype close = stat.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 12)
            result[stat.mid(open + 1, close - open - 1)] += (fields[11].toDouble() + fields[12].toDouble()) * tick;
    }
    return result;
}

// When a widget was first painted after a moment set elsewhere (0: not yet set).
class FirstPaintAfter final : public QObject
{
public:
    FirstPaintAfter(QWidget *widget, const qint64 &after)
        : m_after(after)
    {
        widget->installEventFilter(this);
    }
    qint64 At() const { return m_paintedAt; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_after > 0 && m_paintedAt == 0)
            m_paintedAt = MonotonicNs();
        return QObject::eventFilter(watched, event);
    }

private:
    const qint64 &m_after;
    qint64 m_paintedAt = 0;
};

struct RunResult
{
    int listed = 0;
    int requests = 0;
    QString drops; // per socket
    qint64 overflows = 0;
    double firstReplyToFirstRowMs = 0;
    double firstReplyToFirstPaintMs = 0;
    double firstReplyToLastRowMs = 0;
    double lastReplyToLastRowMs = 0;
    double sendMs = 0;
    long rcvbufErrors = 0;
    double longestStallMs = 0;
    double longestStallAtMs = 0; // after the click on "Device Search"
    int rowsAtLongestStall = 0;
    double uiCpuMs = 0;
    double receiveCpuMs = 0;
    long peakKb = 0;
    int receiveBuffer = 0;
};

RunResult runOnce(int devices, int receiveBufferBytes, const QStringList &simulatorOptions)
{
    RunResult result;
    DevSim simulator(1);
    // Outside the test network's subnets: a device may not have the host's address.
    if (!simulator.Start(QStringList{QStringLiteral("--generate"), QString::number(devices),
                                     QStringLiteral("--first-ip"), QStringLiteral("10.78.0.1")}
                         + simulatorOptions)) {
        std::fprintf(stderr, "corvane-devsim did not start\n");
        return result;
    }

    CorvaneServices services;
    services.messageBox = [](QWidget *, const QString &text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    services.openUrl = [](const QUrl &) {};
    services.receiveBufferBytes = receiveBufferBytes;
    CCorvaneDlg dialog(services);
    dialog.m_comboAdapter->setCurrentIndex(
        dialog.m_comboAdapter->findText(QStringLiteral("veth1: ") + TestNetwork::kHostAddress1));
    dialog.show();

    // The user-interface thread's stalls: the longest gap between two ticks of a 2 ms timer.
    qint64 lastTick = MonotonicNs();
    qint64 longestGap = 0;
    qint64 longestGapEnd = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QAbstractItemModel *model = dialog.m_listDevice->model();
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = MonotonicNs();
        if (now - lastTick > longestGap) {
            longestGap = now - lastTick;
            longestGapEnd = now;
            result.rowsAtLongestStall = model->rowCount();
        }
        lastTick = now;
    });

    qint64 lastRowAt = 0;
    qint64 firstRowAt = 0;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, [&] {
        lastRowAt = MonotonicNs();
        if (firstRowAt == 0)
            firstRowAt = lastRowAt;
    });
    // The first row is shown when the list's viewport is next painted.
    FirstPaintAfter firstPaint(dialog.m_listDevice->viewport(), firstRowAt);

    // Waits block for the next event: a busy wait would take a core from the threads measured.
    ticker.start(2);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);

    const long errorsBefore = receiveBufferErrors();
    const QMap<QByteArray, double> cpuBefore = threadCpuMs();
    longestGap = 0;
    lastTick = MonotonicNs();
    const qint64 clickedAt = lastTick;
    dialog.m_btnSearch->click();
    result.receiveBuffer = dialog.m_pReceiveSocket ? dialog.m_pReceiveSocket->ReceiveBufferSize() : 0;

    // Until every device is listed, or nothing more has come for three seconds.
    QElapsedTimer quiet;
    quiet.start();
    int seen = 0;
    while (model->rowCount() < devices && quiet.elapsed() < 3000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (model->rowCount() != seen) {
            seen = model->rowCount();
            quiet.restart();
        }
    }
    // A little longer, so that stalls after the last row count too, and so that a repeat the
    // search still had to make (when the kernel dropped only duplicates) is counted.
    QElapsedTimer after;
    after.start();
    while (after.elapsed() < 200 + 2 * SearchRepeater::kQuietMs)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ticker.stop();

    result.listed = model->rowCount();
    result.longestStallMs = ms(longestGap);
    result.longestStallAtMs = ms(longestGapEnd - longestGap - clickedAt);
    const QMap<QByteArray, double> cpuAfter = threadCpuMs();
    // The main thread bears the program's name, cut to the kernel's 15 characters.
    const QByteArray uiThread =
        QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1).left(15).toLatin1();
    result.uiCpuMs = cpuAfter.value(uiThread) - cpuBefore.value(uiThread);
    result.receiveCpuMs = cpuAfter.value("corvane-receive") - cpuBefore.value("corvane-receive");
    result.rcvbufErrors = receiveBufferErrors() - errorsBefore;
    result.peakKb = statusKb("VmHWM:");
    const QList<QJsonObject> log = simulator.Log();
    result.requests = static_cast<int>(std::count_if(log.begin(), log.end(), [](const QJsonObject &datagram) {
        return datagram.value(QLatin1String("protocol")).toString() == QLatin1String("own")
               && datagram.value(QLatin1String("size")).toInt() == CAMERA_INFO_WIRE_SIZE;
    }));
    if (dialog.m_pReceiveSocket) {
        result.drops = dropsPerSocket(dialog.m_pReceiveSocket->Group(), devices, result.requests);
        result.overflows = dialog.m_pReceiveSocket->Overflows();
    }

    // Each burst the simulator sent; times run from the first answer of the first burst, and
    // to the last row from the last answer of the burst that brought it.
    const QRegularExpression times(QStringLiteral("first at (\\d+) ns, last at (\\d+) ns"));
    qint64 firstOfAll = 0;
    for (;;) {
        const QRegularExpressionMatch match = times.match(
            QString::fromLatin1(simulator.WaitForOutput("sent ", firstOfAll == 0 ? 10000 : 300)));
        if (!match.hasMatch())
            break;
        const qint64 first = match.captured(1).toLongLong();
        const qint64 last = match.captured(2).toLongLong();
        if (firstOfAll == 0) {
            firstOfAll = first;
            result.sendMs = ms(last - first);
        }
        if (lastRowAt > 0 && first <= lastRowAt)
            result.lastReplyToLastRowMs = ms(lastRowAt - last);
    }
    if (firstOfAll > 0 && lastRowAt > 0) {
        result.firstReplyToLastRowMs = ms(lastRowAt - firstOfAll);
        result.firstReplyToFirstRowMs = ms(firstRowAt - firstOfAll);
        result.firstReplyToFirstPaintMs = firstPaint.At() > 0 ? ms(firstPaint.At() - firstOfAll) : -1;
    }
    return result;
}
} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenUnlessSet();
    ShareOneHeapAmongThreads(); // as the program's main() does
    QApplication app(argc, argv);
    if (!TestNetwork::InPrivateNamespace()) {
        std::fprintf(stderr, "run through tests/netns-run.sh: this benchmark broadcasts\n");
        return 2;
    }
    const int devices = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    const int buffer = argc > 3 ? std::max(1, atoi(argv[3])) : CTalbrixReceveSocket::kReceiveBufferBytes;
    const QString style = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral("burst");
    QStringList simulatorOptions;
    if (style == QLatin1String("site"))
        simulatorOptions << QStringLiteral("--own-addresses") << QStringLiteral("--shuffle");
    else if (style != QLatin1String("burst"))
        return 2;
    for (int i = 5; i < argc; ++i)
        simulatorOptions << QString::fromLocal8Bit(argv[i]);

    // The main window traces its sends on standard output: the table gets its own stream.
    std::FILE *out = fdopen(dup(fileno(stdout)), "w");
    if (!out || !std::freopen("/dev/null", "w", stdout))
        return 2;
    std::fprintf(out, "%d devices, %s, receive buffer asked %d bytes, %d runs, simulator: %s\n\n", devices,
                 qPrintable(style), buffer, runs, qPrintable(simulatorOptions.join(QLatin1Char(' '))));
    std::fprintf(out, "| run | buffer granted | requests | first burst sent in ms | first reply to first row "
                      "(painted) ms | first reply to last row ms | "
                      "last reply to last row ms | lost | kernel drops per socket | dropped in all | RcvbufErrors | "
                      "longest stall ms (at ms, rows) | UI thread CPU ms | receive thread CPU ms | peak MB |\n");
    std::fprintf(out, "|---:|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|\n");
    for (int run = 1; run <= runs; ++run) {
        const RunResult r = runOnce(devices, buffer, simulatorOptions);
        std::fprintf(out,
                     "| %d | %d | %d | %.1f | %.1f (%.1f) | %.1f | %.1f | %d | %s | %lld | %ld | %.1f (%.0f, %d) | "
                     "%.0f | %.0f | "
                     "%.1f |\n",
                     run, r.receiveBuffer, r.requests, r.sendMs, r.firstReplyToFirstRowMs, r.firstReplyToFirstPaintMs,
                     r.firstReplyToLastRowMs, r.lastReplyToLastRowMs, devices - r.listed, qPrintable(r.drops),
                     static_cast<long long>(r.overflows), r.rcvbufErrors, r.longestStallMs, r.longestStallAtMs,
                     r.rowsAtLongestStall, r.uiCpuMs, r.receiveCpuMs, static_cast<double>(r.peakKb) / 1024.0);
        std::fflush(out);
    }
    return 0;
}
