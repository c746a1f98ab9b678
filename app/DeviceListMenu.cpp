#include "DeviceListMenu.h"

#include "CCorvaneDlg.h"
#include "CReportCtrl.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>

#include <algorithm>

DeviceListMenu::DeviceListMenu(CCorvaneDlg &dialog)
    : QObject(&dialog)
    , m_dialog(dialog)
    , m_list(*dialog.m_listDevice)
    , m_menu(new QMenu(&m_list))
{
    connect(AddAction(m_menu, QStringLiteral("openWebPage"), tr("&Open web page")), &QAction::triggered, this,
            &DeviceListMenu::OpenWebPage);
    QMenu *copy = m_menu->addMenu(tr("&Copy"));
    copy->setObjectName(QStringLiteral("copy"));
    connect(AddAction(copy, QStringLiteral("copyMac"), tr("&MAC address")), &QAction::triggered, this,
            [this] { CopyColumn(CCorvaneDlg::kMacColumn); });
    connect(AddAction(copy, QStringLiteral("copyIp"), tr("&IP address")), &QAction::triggered, this,
            [this] { CopyColumn(CCorvaneDlg::kIpColumn); });
    connect(AddAction(copy, QStringLiteral("copyRow"), tr("&Whole row")), &QAction::triggered, this,
            [this] { CopyColumn(-1); });
    m_menu->addSeparator();
    connect(AddAction(m_menu, QStringLiteral("tickAll"), tr("Tick &all")), &QAction::triggered, this,
            [this] { TickAll(true); });
    connect(AddAction(m_menu, QStringLiteral("tickNone"), tr("Tick &none")), &QAction::triggered, this,
            [this] { TickAll(false); });

    connect(&m_list, &CReportCtrl::contextMenuRequested, this, &DeviceListMenu::Popup);
}

DeviceListMenu::~DeviceListMenu() = default;

QAction *DeviceListMenu::AddAction(QMenu *menu, const QString &name, const QString &text)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}

QAction *DeviceListMenu::Action(const QString &name) const
{
    return m_menu->findChild<QAction *>(name);
}

void DeviceListMenu::Popup(const QPoint &globalPos, int row)
{
    m_nMenuRow = row >= 0 && row < m_list.GetItemCount() ? row : -1;
    const bool rows = m_list.GetItemCount() > 0;
    Action(QStringLiteral("openWebPage"))->setEnabled(m_nMenuRow >= 0);
    m_menu->findChild<QMenu *>(QStringLiteral("copy"))->setEnabled(!RowsToCopy().isEmpty());
    Action(QStringLiteral("tickAll"))->setEnabled(rows);
    Action(QStringLiteral("tickNone"))->setEnabled(rows);
    m_menu->popup(globalPos);
}

void DeviceListMenu::OpenWebPage()
{
    if (m_nMenuRow >= 0)
        m_dialog.OnNMDblclkListDevice(m_nMenuRow);
}

QList<int> DeviceListMenu::RowsToCopy() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_list.selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && m_nMenuRow >= 0)
        rows.append(m_nMenuRow);
    return rows;
}

void DeviceListMenu::CopyColumn(int column)
{
    QStringList lines;
    for (int row : RowsToCopy()) {
        if (column >= 0) {
            lines << m_list.GetItemText(row, column);
            continue;
        }
        QStringList cells;
        for (int shown = 0; shown < CCorvaneDlg::kShownColumns; ++shown)
            cells << m_list.GetItemText(row, shown);
        lines << cells.join(QLatin1Char('\t'));
    }
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void DeviceListMenu::TickAll(bool tick)
{
    for (int row = 0; row < m_list.GetItemCount(); ++row)
        m_list.SetCheck(row, tick);
}
