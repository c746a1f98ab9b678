// Times Corvane's start-up to the main window shown: the program starts itself again as a
// child, which goes through main()'s steps (application object, main window) and reports when
// the window is first painted. Times run from the moment the child is started, on the
// monotonic clock both processes share.
// Usage: corvane-bench-startup [runs]; run it like the others through tests/netns-run.sh.

#include "BenchSupport.h"
#include "CCorvaneDlg.h"

#include <QApplication>
#include <QEvent>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
// Quits the application at the window's first paint, noting when.
class FirstPaint final : public QObject
{
public:
    qint64 at = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && at == 0) {
            at = MonotonicNs();
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
};

int child(int argc, char *argv[])
{
    const qint64 entered = MonotonicNs();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));
    const qint64 appReady = MonotonicNs();
    CCorvaneDlg dialog;
    const qint64 built = MonotonicNs();
    FirstPaint painted;
    dialog.installEventFilter(&painted);
    dialog.show();
    QApplication::exec();
    // The main window traces on standard output; the times go to standard error.
    std::fprintf(stderr, "times %lld %lld %lld %lld\n", static_cast<long long>(entered),
                 static_cast<long long>(appReady), static_cast<long long>(built), static_cast<long long>(painted.at));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    UseOffscreenUnlessSet();
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    std::vector<double> toMain, toApp, toDialog, toShown;
    for (int run = 0; run < runs; ++run) {
        QProcess process;
        const qint64 started = MonotonicNs();
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        if (!process.waitForFinished(30000)) {
            std::fprintf(stderr, "the child did not end\n");
            return 1;
        }
        const QList<QByteArray> lines = process.readAllStandardError().split('\n');
        const auto times = std::find_if(lines.begin(), lines.end(),
                                        [](const QByteArray &l) { return l.startsWith("times "); });
        if (times == lines.end()) {
            std::fprintf(stderr, "the child reported nothing\n");
            return 1;
        }
        const QList<QByteArray> fields = times->split(' ');
        const auto since = [&](int i) { return static_cast<double>(fields[i].toLongLong() - started) / 1e6; };
        toMain.push_back(since(1));
        toApp.push_back(since(2));
        toDialog.push_back(since(3));
        toShown.push_back(since(4));
    }
    std::printf("| step (ms after the process was started) | median | max |\n|---|---:|---:|\n");
    const struct
    {
        const char *step;
        const std::vector<double> &values;
    } rows[] = {{"main() entered (loading, dynamic linking)", toMain},
                {"application object ready", toApp},
                {"main window built (adapters, vendor library, list)", toDialog},
                {"main window shown (first paint)", toShown}};
    for (const auto &row : rows)
        std::printf("| %s | %.1f | %.1f |\n", row.step, Median(row.values),
                    *std::max_element(row.values.begin(), row.values.end()));
    return 0;
}
