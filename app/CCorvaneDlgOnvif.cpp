// The main window's ONVIF devices: their rows, their settings read in the background, and
// Save, Reboot and Factory Reset for them. Nothing here waits for a device.

#include "CCorvaneDlg.h"

#include "CReportCtrl.h"
#include "PlanApply.h"
#include "RecordText.h"

#include <QLineEdit>

#include <memory>

namespace {
QString lineText(QWidget *edit)
{
    return static_cast<QLineEdit *>(edit)->text();
}
} // namespace

void CCorvaneDlg::ListOnvifDevice(const OnvifDevice &device)
{
    const int index = static_cast<int>(m_arrDevices.size());
    const OnvifListing listing{device, std::nullopt, QString()};
    const CameraInfo record = OnvifRecord(listing);
    m_onvifDevices.insert(index, listing);
    m_arrDevices.push_back(std::make_unique<CCameraInfoObj>(record));
    InsertDeviceRow(record);
}

void CCorvaneDlg::FollowOnvifDevice(int index, const OnvifDevice *seen)
{
    OnvifListing &listing = m_onvifDevices[index];
    if (seen) {
        const QString mac = listing.device.mac; // a scope's MAC outlives an answer without it
        listing.device = *seen;
        if (listing.device.mac.isEmpty())
            listing.device.mac = mac;
    }
    m_arrDevices[static_cast<size_t>(index)]->m_CameraInfo = OnvifRecord(listing);
    UpdateDeviceRow(index);
}

bool CCorvaneDlg::TakeOnvifRow(const CameraInfo &record)
{
    if (m_onvifDevices.isEmpty())
        return false;
    const std::optional<quint64> mac = MacNumber(ReadText(record.mac_addr));
    if (!mac)
        return false;
    for (auto it = m_onvifDevices.begin(); it != m_onvifDevices.end(); ++it) {
        if (MacNumber(OnvifMac(*it)) != mac)
            continue;
        const int index = it.key();
        m_onvifDevices.erase(it);
        m_arrDevices[static_cast<size_t>(index)]->m_CameraInfo = record;
        UpdateDeviceRow(index);
        return true;
    }
    return false;
}

void CCorvaneDlg::ShowOnvifFieldNote(const QString &note)
{
    for (int id : {IDC_EDIT_SUBNET, IDC_EDIT_GATEWAY, IDC_EDIT_DNS}) {
        auto *edit = static_cast<QLineEdit *>(Control(id));
        edit->setPlaceholderText(note);
        edit->setAccessibleDescription(note);
    }
}

void CCorvaneDlg::ShowOnvifFields(int index)
{
    // The login typed stays: an ONVIF device reports none of its own.
    const CameraInfo &info = m_arrDevices[static_cast<size_t>(index)]->m_CameraInfo;
    NetworkEdits edits = EditsOf(info);
    edits.userId = lineText(Control(IDC_EDIT_USERID));
    edits.password = lineText(Control(IDC_EDIT_PASSWORD));
    SetEdits(edits);
    m_strModel = FieldString(info.model_name);
    CheckAddressing(m_nDhcp);
    SetAddressEditsEnabled(m_nDhcp == 0);
    UpdateData(false);
}

void CCorvaneDlg::OnClickOnvifDevice(int index)
{
    const OnvifLogin login{lineText(Control(IDC_EDIT_USERID)), lineText(Control(IDC_EDIT_PASSWORD))};
    ShowOnvifFields(index);
    if (!login.user.isEmpty() && !login.password.isEmpty())
        ReadOnvifSettings(index, login);
    else if (const OnvifListing &listing = m_onvifDevices[index]; !listing.settings)
        ShowOnvifFieldNote(QStringLiteral("Type User ID and Password, then click the device to read the rest"));
    else
        ShowOnvifFieldNote(QString());
}

int CCorvaneDlg::OnvifIndexOf(const QString &endpoint) const
{
    for (auto it = m_onvifDevices.cbegin(); it != m_onvifDevices.cend(); ++it) {
        if (it->device.endpoint == endpoint)
            return it.key();
    }
    return -1;
}

void CCorvaneDlg::ReadOnvifSettings(int index, const OnvifLogin &login)
{
    ShowOnvifFieldNote(QStringLiteral("Reading the device's settings..."));
    const int search = m_nSearchNumber;
    const QString endpoint = m_onvifDevices[index].device.endpoint;
    m_search.Onvif().ReadSettings(m_onvifDevices[index].device, login,
                                  [this, endpoint, search](OnvifResult result, const OnvifSettings &settings) {
                                      const int device = OnvifIndexOf(endpoint);
                                      if (search != m_nSearchNumber || device < 0)
                                          return; // the list has been searched anew, or the row is another family's now
                                      if (result == OnvifResult::Ok && m_search.IsFamilyDeviceMac(settings.mac)) {
                                          DropOnvifDuplicate(device, settings.mac);
                                          return;
                                      }
                                      OnvifListing &listing = m_onvifDevices[device];
                                      if (result == OnvifResult::Ok) {
                                          listing.settings = settings;
                                          listing.readError.clear();
                                      } else {
                                          listing.readError = OnvifCallText(listing.device, result);
                                      }
                                      FollowOnvifDevice(device, nullptr);
                                      if (m_nSelected != device)
                                          return;
                                      if (result != OnvifResult::Ok) {
                                          ShowOnvifFieldNote(listing.readError);
                                          return;
                                      }
                                      ShowOnvifFields(device); // with the login being typed meanwhile
                                      ShowOnvifFieldNote(QString());
                                  });
}

void CCorvaneDlg::DropOnvifDuplicate(int index, const QString &mac)
{
    const bool selected = m_nSelected == index;
    ForgetDevice(index);
    if (!selected)
        return;
    const std::optional<quint64> number = MacNumber(mac);
    for (int row = 0; row < m_listDevice->GetItemCount(); ++row) {
        const int device = DeviceIndexOfRow(row);
        if (device < 0 || device >= static_cast<int>(m_arrDevices.size()) || OnvifDeviceAt(device)
            || MacNumber(FieldString(m_arrDevices[static_cast<size_t>(device)]->m_CameraInfo.mac_addr)) != number)
            continue;
        // As a click on that row would, but the login just typed stays.
        const QString user = lineText(Control(IDC_EDIT_USERID));
        const QString password = lineText(Control(IDC_EDIT_PASSWORD));
        m_listDevice->ApplyRowState(row, RS_SELECTED | RS_FOCUSED);
        m_listDevice->scrollTo(m_listDevice->model()->index(row, 0));
        OnNMClickListDevice(row);
        static_cast<QLineEdit *>(Control(IDC_EDIT_USERID))->setText(user);
        static_cast<QLineEdit *>(Control(IDC_EDIT_PASSWORD))->setText(password);
        return;
    }
}

void CCorvaneDlg::SaveOnvifDevice(int index)
{
    const OnvifListing &listing = m_onvifDevices[index];
    const int search = m_nSearchNumber;
    m_search.Onvif().Save(
        listing.device, OnvifLogin{m_strUserId, m_strPassword}, Edits(), listing.settings.has_value(),
        [this, endpoint = listing.device.endpoint, search](OnvifResult result, const OnvifSettings &current,
                                                           const OnvifSettings &wanted) {
            ShowMessage(OnvifResultText(result));
            // Checked as corvanectl set checks it, unless nothing was sent.
            if (result == OnvifResult::Ok && search == m_nSearchNumber && OnvifIndexOf(endpoint) >= 0
                && !ChangedSettings(OnvifSettingsRecord(current), OnvifSettingsRecord(wanted)).isEmpty())
                CheckOnvifMove(endpoint, wanted);
        });
}

void CCorvaneDlg::CheckOnvifMove(const QString &endpoint, const OnvifSettings &wanted)
{
    const CNetworkAdapterObj *adapter = SelectedAdapter();
    disconnect(&m_onvifMoveCheck, &OnvifMoveCheck::finished, this, nullptr); // an earlier Save's check is dropped
    connect(
        &m_onvifMoveCheck, &OnvifMoveCheck::finished, this,
        [this, endpoint, wanted, search = m_nSearchNumber](bool ok, const QString &text,
                                                           const std::optional<OnvifDevice> &seen) {
            if (!ok)
                ShowListNote(QStringLiteral("ONVIF device %1 %2").arg(endpoint, text));
            const int index = OnvifIndexOf(endpoint);
            if (search != m_nSearchNumber || index < 0)
                return; // searched anew, or the row is another family's now
            if (ok)
                m_onvifDevices[index].settings = wanted;
            FollowOnvifDevice(index, seen ? &*seen : nullptr);
        },
        Qt::SingleShotConnection);
    if (!adapter || !m_onvifMoveCheck.Start(*adapter, endpoint, wanted))
        ShowListNote(QStringLiteral("ONVIF device %1 not checked: no probe could be sent").arg(endpoint));
}

void CCorvaneDlg::RunOnvifCommand(const QList<std::pair<QString, OnvifDevice>> &devices, bool reboot)
{
    const OnvifLogin login{m_strUserId, m_strPassword};
    // One message when all have answered: a box per device would pile up.
    auto results = std::make_shared<QStringList>();
    auto left = std::make_shared<qsizetype>(devices.size());
    for (const auto &[name, device] : devices) {
        // Clang before 16 cannot capture a structured binding itself.
        const auto done = [this, results, left, who = name, single = devices.size() == 1](OnvifResult result) {
            *results << (single ? OnvifResultText(result) : QStringLiteral("%1  %2").arg(who, OnvifResultText(result)));
            if (--*left == 0)
                ShowMessage(results->join(QLatin1Char('\n')));
        };
        if (reboot)
            m_search.Onvif().Reboot(device, login, done);
        else
            m_search.Onvif().FactoryReset(device, login, false, done);
    }
}
