#pragma once

#include <QDialog>
#include <QString>

class QLabel;

// The small window that says "Please Wait..." while a search runs. Its owner fills in the
// text, places, shows and hides it; it has no logic of its own.
class CSplashMsgDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSplashMsgDlg)

public:
    static constexpr int IDD_WAIT_DIALOG = 130;
    static constexpr int IDC_STATIC_MESSAGE = 1017;

    CSplashMsgDlg();

    // Creates the window, hidden, owned by parent.
    bool Create(QWidget *parent);

    // Moves m_strMessage into the text control (false) or back (true).
    void UpdateData(bool saveAndValidate);

    QString m_strMessage;

private:
    QLabel *m_message = nullptr;
};
