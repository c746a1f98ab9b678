#include "DeviceListMenu.h"

#include "AdapterNetwork.h"
#include "AssignAddressesDlg.h"
#include "CCorvaneDlg.h"
#include "CReportCtrl.h"
#include "DeviceListFormat.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSaveFile>

#include <algorithm>
#include <utility>

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
    m_menu->addSeparator();
    connect(AddAction(m_menu, QStringLiteral("exportList"), tr("&Export list...")), &QAction::triggered, this,
            &DeviceListMenu::ExportList);
    connect(AddAction(m_menu, QStringLiteral("assignAddresses"), tr("A&ssign addresses to ticked devices...")),
            &QAction::triggered, this, &DeviceListMenu::AssignAddresses);

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
    Action(QStringLiteral("exportList"))->setEnabled(rows);
    bool ticked = false;
    for (int item = 0; item < m_list.GetItemCount() && !ticked; ++item)
        ticked = m_list.GetCheck(item) > 0;
    Action(QStringLiteral("assignAddresses"))->setEnabled(ticked);
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

QList<CameraInfo> DeviceListMenu::ListedRecords() const
{
    QList<CameraInfo> records;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const int device = m_dialog.DeviceIndexOfRow(row);
        if (device >= 0 && device < static_cast<int>(m_dialog.m_arrDevices.size()))
            records << m_dialog.m_arrDevices[static_cast<std::size_t>(device)]->m_CameraInfo;
    }
    return records;
}

void DeviceListMenu::ExportList()
{
    const QString path = m_dialog.m_services.saveFileName(&m_dialog, QStringLiteral("corvane-devices.csv"));
    if (path.isEmpty())
        return;
    QList<DeviceFieldList> devices;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const int device = m_dialog.DeviceIndexOfRow(row);
        if (device >= 0 && device < static_cast<int>(m_dialog.m_arrDevices.size()))
            devices << m_dialog.FieldsOfDevice(device);
    }
    const QByteArray csv = DevicesCsv(devices);
    // Written beside the target and renamed over it at the end: a failure leaves no half file.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit())
        return;
    const QString reason = file.errorString();
    file.cancelWriting();
    m_dialog.ShowMessage(tr("The list could not be written to %1: %2").arg(QDir::toNativeSeparators(path), reason));
}

void DeviceListMenu::AssignAddresses()
{
    const CNetworkAdapterObj *adapter = m_dialog.SelectedAdapter();
    if (!CanSendThrough(adapter)) {
        m_dialog.ShowMessage(NothingSentReason(adapter));
        return;
    }
    QList<std::pair<int, CameraInfo>> ticked;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const int device = m_dialog.DeviceIndexOfRow(row);
        // ONVIF devices are changed one by one with Save: a plan's request is not theirs.
        if (m_list.GetCheck(row) > 0 && device >= 0 && device < static_cast<int>(m_dialog.m_arrDevices.size())
            && !m_dialog.OnvifDeviceAt(device))
            ticked.append({device + 1, m_dialog.m_arrDevices[static_cast<std::size_t>(device)]->m_CameraInfo});
    }
    auto *assign = new AssignAddressesDlg(ticked, ListedRecords(), m_dialog.m_search, m_dialog.m_pVendorDlg.get(),
                                          *adapter, &m_dialog);
    assign->setAttribute(Qt::WA_DeleteOnClose);
    // The check is a search: the list shows what it finds, as after "Device Search".
    connect(assign, &AssignAddressesDlg::verifying, this, [this] {
        m_beforeCheck.clear();
        m_onvifBeforeCheck.clear();
        for (int row = 0; row < m_list.GetItemCount(); ++row) {
            const int device = m_dialog.DeviceIndexOfRow(row);
            if (const OnvifListing *onvif = m_dialog.OnvifDeviceAt(device))
                m_onvifBeforeCheck << onvif->device;
            else if (device >= 0 && device < static_cast<int>(m_dialog.m_arrDevices.size()))
                m_beforeCheck << m_dialog.m_arrDevices[static_cast<std::size_t>(device)]->m_CameraInfo;
        }
        m_dialog.ForgetListedDevices();
    });
    // A family the check did not ask was not changed: its devices come back as they were.
    connect(assign, &AssignAddressesDlg::applyFinished, this, [this](bool ownSearched, bool vendorSearched) {
        for (const CameraInfo &record : std::exchange(m_beforeCheck, {})) {
            if (!(IsVendorFamily(record) ? vendorSearched : ownSearched))
                m_dialog.m_search.Offer(record);
        }
        for (const OnvifDevice &device : std::exchange(m_onvifBeforeCheck, {}))
            m_dialog.m_search.OfferOnvif(device);
    });
    assign->setWindowModality(Qt::WindowModal);
    assign->open();
}
