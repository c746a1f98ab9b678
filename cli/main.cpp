// corvanectl: Corvane's search and configuration of network cameras, without a window.

#include "CommandLine.h"
#include "Console.h"
#include "CorvaneCtl.h"
#include "OwnedThread.h"

#include <QCoreApplication>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h> // MinGW has it too

namespace {
// Standard output is for data only, but the engine writes its diagnostics there with printf.
// Data gets a copy of the descriptor of its own; the diagnostics go to standard error with
// --verbose, else nowhere.
std::FILE *takeStandardOutput(bool verbose)
{
    std::fflush(stdout);
    const int data = dup(1);
    const int diagnostics = verbose ? dup(2) : open(NullDevice(), O_WRONLY);
    if (data < 0 || diagnostics < 0)
        return stdout;
    dup2(diagnostics, 1);
    ::close(diagnostics);
    std::FILE *out = fdopen(data, "w");
    return out ? out : stdout;
}

void write(std::FILE *to, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fflush(to);
}
} // namespace

int main(int argc, char *argv[])
{
    AwaitThreadsAtExit(); // under LeakSanitizer: its check sees no thread half gone
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvanectl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    const ParsedCommandLine parsed = ParseCommandLine(QCoreApplication::arguments());
    if (!parsed.options) {
        write(stdout, parsed.standardOutput);
        write(stderr, parsed.standardError);
        return parsed.exitCode;
    }
    std::FILE *out = takeStandardOutput(parsed.options->verbose);
    CorvaneCtl ctl(*parsed.options, out);
    const int code = ctl.Start() ? QCoreApplication::exec() : ctl.ExitCode();
    std::fflush(out);
    return code;
}
