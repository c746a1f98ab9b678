#include "CCorvaneApp.h"
#include "ConsoleOutput.h"
#include "SharedHeap.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {
// The window reads no command line; these two answer in a terminal, before any window or
// display is needed.
bool AnswerInfoOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            AttachToParentConsole();
            std::printf("Corvane %s\n", CORVANE_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            AttachToParentConsole();
            std::printf("Usage: corvane [--help] [--version]\n"
                        "Finds the network cameras on the local network and changes their addressing.\n"
                        "Start it from the applications menu, or with no arguments.\n");
            return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    if (AnswerInfoOption(argc, argv))
        return 0;
    ShareOneHeapAmongThreads();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));

    CCorvaneApp theApp;
    theApp.InitInstance();
    return 0;
}
