// corvane-screenshot: the main window listing the devices a simulator plays, saved as a PNG
// for the documentation. Run it as scripts/screenshot.sh does: inside private namespaces,
// with corvane-devsim answering on veth1.

#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "CSplashMsgDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvane-screenshot OUTPUT.png [ADAPTER-TEXT]\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const QString adapter = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("veth1: 10.77.1.1");

    CorvaneServices services;
    services.messageBox = [](QWidget *, const QString &text) { std::printf("message: %s\n", qPrintable(text)); };
    services.openUrl = [](const QUrl &) {};
    CCorvaneDlg dialog(services);
    dialog.m_comboAdapter->setCurrentIndex(dialog.m_comboAdapter->findText(adapter));
    dialog.show();
    dialog.OnBnClickedSearch();

    QTimer::singleShot(5000, &dialog, [&] {
        dialog.m_pWaitDlg->hide();
        dialog.OnNMClickListDevice(2);
        dialog.m_listDevice->SetCheck(9);
        dialog.m_listDevice->setFocus();
        dialog.grab().save(output);
        QApplication::quit();
    });
    return QApplication::exec();
}
