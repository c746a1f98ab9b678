#include "CCorvaneApp.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral("3.0.0.0"));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));

    CCorvaneApp theApp;
    theApp.InitInstance();
    return 0;
}
