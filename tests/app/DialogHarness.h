#pragma once

#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "CSplashMsgDlg.h"
#include "RecordText.h"
#include "TestNetwork.h"
#include "TestRecords.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QUrl>

#include <functional>

#include <memory>

// The real main window with its messages and browser calls caught, searching through
// veth1 (towards device namespace 1).
struct DialogHarness
{
    QStringList messages;
    // Runs while a box is shown, as the person reads it: a nested event loop, say.
    std::function<void()> whileBoxShown;
    QList<QUrl> openedUrls;
    std::unique_ptr<CCorvaneDlg> dialog;

    explicit DialogHarness(CorvaneServices services = {})
    {
        services.messageBox = [this](QWidget *, const QString &text) {
            messages << text;
            if (whileBoxShown)
                whileBoxShown();
        };
        services.openUrl = [this](const QUrl &url) { openedUrls << url; };
        dialog = std::make_unique<CCorvaneDlg>(std::move(services));
        const int veth1 = dialog->m_comboAdapter->findText(QStringLiteral("veth1: ") + TestNetwork::kHostAddress1);
        if (veth1 >= 0)
            dialog->m_comboAdapter->setCurrentIndex(veth1);
    }

    CReportCtrl &list() const { return *dialog->m_listDevice; }

    // The row that shows the device with this MAC text, or -1.
    int rowOf(const QByteArray &mac) const
    {
        for (int row = 0; row < list().GetItemCount(); ++row) {
            if (list().GetItemText(row, 1).toLatin1() == mac)
                return row;
        }
        return -1;
    }

    void setText(int id, const QString &text) const { static_cast<QLineEdit *>(dialog->Control(id))->setText(text); }
    QString text(int id) const { return static_cast<QLineEdit *>(dialog->Control(id))->text(); }
};
