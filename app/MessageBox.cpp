#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

void ShowMessageBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}
