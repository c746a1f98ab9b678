#include "CCorvaneApp.h"
#include "ConsoleOutput.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {
constexpr char kVersion[] = "3.0.0.0";
} // namespace

int main(int argc, char *argv[])
{
    // The one option: installers and support ask which version is there, without a window.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        AttachToParentConsole();
        std::printf("Corvane %s\n", kVersion);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));

    CCorvaneApp theApp;
    theApp.InitInstance();
    return 0;
}
