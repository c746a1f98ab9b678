#include "CSplashMsgDlg.h"

#include "DialogTemplate.h"

#include <QLabel>

namespace {
constexpr ControlTemplate kControls[] = {
    {CSplashMsgDlg::IDC_STATIC_MESSAGE, ControlKind::CenteredStatic, "Static", {7, 3, 182, 57}},
};
constexpr DialogTemplate kTemplate{CSplashMsgDlg::IDD_WAIT_DIALOG, "", {200, 60}, "MS Shell Dlg", 8, kControls};
} // namespace

CSplashMsgDlg::CSplashMsgDlg() = default;

bool CSplashMsgDlg::Create(QWidget *parent)
{
    // A window of its own with a title bar, kept above its owner.
    setParent(parent, Qt::Dialog | Qt::WindowTitleHint);
    const auto controls = BuildDialog(this, kTemplate);
    m_message = static_cast<QLabel *>(controls.value(IDC_STATIC_MESSAGE));
    UpdateData(false); // the control shows "" until a message is written, not "Static"
    return m_message != nullptr;
}

void CSplashMsgDlg::UpdateData(bool saveAndValidate)
{
    if (!m_message)
        return;
    if (saveAndValidate)
        m_strMessage = m_message->text();
    else
        m_message->setText(m_strMessage);
}
