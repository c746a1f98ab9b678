#include "CCorvaneDlg.h"

#include "AdapterNetwork.h"
#include "CHalvetranoDlg.h"
#include "CReportCtrl.h"
#include "CSplashMsgDlg.h"
#include "DeviceFields.h"
#include "DeviceListFlags.h"
#include "DeviceListMenu.h"
#include "DialogTemplate.h"
#include "MessageBox.h"
#include "RecordText.h"
#include "VendorCommands.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <cstdio>
#include <cstdlib>

namespace {
using D = CCorvaneDlg;

constexpr ControlTemplate kControls[] = {
    {D::IDC_COMBO_ADAPTER, ControlKind::ComboBox, "", {6, 15, 355, 89}},
    {D::IDC_BTN_SEARCH, ControlKind::PushButton, "Device Search", {6, 29, 355, 25}},
    {D::IDC_LIST_DEVICE, ControlKind::ListView, "", {6, 56, 355, 260}},
    {-1, ControlKind::GroupBox, "Device Info", {367, 11, 139, 35}},
    {-1, ControlKind::Static, "Model", {374, 28, 24, 8}},
    {D::IDC_EDIT_MODEL, ControlKind::ReadOnlyEdit, "", {402, 25, 98, 12}},
    {-1, ControlKind::GroupBox, "", {367, 52, 139, 23}},
    {D::IDC_RADIO_STATIC, ControlKind::RadioButton, "STATIC", {385, 62, 36, 8}},
    {D::IDC_RADIO_DHCP, ControlKind::RadioButton, "DHCP", {446, 62, 30, 8}},
    {-1, ControlKind::GroupBox, "[ IP Setting ]", {367, 81, 139, 66}},
    {-1, ControlKind::Static, "IP Address ", {381, 91, 36, 8}},
    {-1, ControlKind::Static, "Subnet Mask ", {381, 104, 39, 8}},
    {D::IDC_EDIT_IP, ControlKind::Edit, "", {433, 90, 68, 12}},
    {D::IDC_EDIT_SUBNET, ControlKind::Edit, "", {433, 103, 68, 12}},
    {D::IDC_EDIT_GATEWAY, ControlKind::Edit, "", {433, 117, 68, 12}},
    {D::IDC_EDIT_DNS, ControlKind::Edit, "", {433, 130, 68, 12}},
    {-1, ControlKind::Static, "Gateway", {381, 118, 30, 10}},
    {-1, ControlKind::Static, "DNS ", {381, 132, 17, 9}},
    {-1, ControlKind::GroupBox, "[ Port Setting ]", {367, 150, 139, 27}},
    {D::IDC_EDIT_WEBPORT, ControlKind::Edit, "", {433, 159, 68, 12}},
    {-1, ControlKind::Static, "Web Port ", {381, 162, 31, 9}},
    {-1, ControlKind::GroupBox, "[ Authentication ]", {367, 180, 139, 40}},
    {D::IDC_EDIT_USERID, ControlKind::Edit, "", {433, 190, 68, 12}},
    {-1, ControlKind::Static, "User ID ", {381, 192, 24, 8}},
    {D::IDC_EDIT_PASSWORD, ControlKind::Edit, "", {433, 204, 68, 12}},
    {-1, ControlKind::Static, "Password ", {381, 206, 32, 8}},
    {D::IDC_BTN_SAVE, ControlKind::PushButton, "Save", {367, 224, 139, 29}},
    {D::IDC_BTN_REBOOT, ControlKind::PushButton, "Reboot", {367, 296, 68, 21}},
    {D::IDC_BTN_FACTORY_RESET, ControlKind::PushButton, "Factory Reset", {436, 296, 70, 21}},
    {-1, ControlKind::Static, "Select Network Adapter : ", {6, 6, 88, 8}},
};
constexpr DialogTemplate kTemplate{D::IDD_MAIN_DIALOG, "Corvane ( 3.0.0.0 )", {513, 323}, "Microsoft Sans Serif", 10,
                                   kControls};

const QColor kButtonFace(216, 216, 216);

void exchangeText(QWidget *control, QString &member, bool save)
{
    auto *edit = static_cast<QLineEdit *>(control);
    if (save)
        member = edit->text();
    else
        edit->setText(member);
}

// Text as integer: leading and trailing blanks allowed, nothing else; a failure leaves the
// member as it was.
bool parseInteger(const QString &text, int &value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok);
    if (ok)
        value = parsed;
    return ok;
}
} // namespace

CCorvaneDlg::CCorvaneDlg(CorvaneServices services, QWidget *parent)
    : QDialog(parent)
    , m_search(services)
    , m_hIcon(QStringLiteral(":/corvane/corvane.png"))
    , m_services(std::move(services))
{
    if (!m_services.messageBox)
        m_services.messageBox = &ShowMessageBox;
    if (!m_services.openUrl)
        m_services.openUrl = [](const QUrl &address) { QDesktopServices::openUrl(address); };
    if (!m_services.saveFileName) {
        m_services.saveFileName = [](QWidget *owner, const QString &suggestedName) {
            return QFileDialog::getSaveFileName(owner, tr("Export list"), suggestedName, tr("CSV files (*.csv)"));
        };
    }

    m_controls = BuildDialog(this, kTemplate, [this](QWidget *dialog) {
        m_listDevice = new CReportCtrl(dialog);
        return m_listDevice;
    });
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_comboAdapter = static_cast<QComboBox *>(Control(IDC_COMBO_ADAPTER));
    m_btnFactoryReset = static_cast<QPushButton *>(Control(IDC_BTN_FACTORY_RESET));
    m_btnReboot = static_cast<QPushButton *>(Control(IDC_BTN_REBOOT));
    m_btnSave = static_cast<QPushButton *>(Control(IDC_BTN_SAVE));
    m_btnSearch = static_cast<QPushButton *>(Control(IDC_BTN_SEARCH));

    connect(m_btnSearch, &QPushButton::clicked, this, &CCorvaneDlg::OnBnClickedSearch);
    connect(m_listDevice, &CReportCtrl::itemClicked, this, &CCorvaneDlg::OnNMClickListDevice);
    connect(m_listDevice, &CReportCtrl::itemDoubleClicked, this, &CCorvaneDlg::OnNMDblclkListDevice);
    connect(m_btnSave, &QPushButton::clicked, this, &CCorvaneDlg::OnBnClickedSave);
    connect(static_cast<QRadioButton *>(Control(IDC_RADIO_STATIC)), &QRadioButton::clicked, this,
            &CCorvaneDlg::OnBnClickedStatic);
    connect(static_cast<QRadioButton *>(Control(IDC_RADIO_DHCP)), &QRadioButton::clicked, this,
            &CCorvaneDlg::OnBnClickedDhcp);
    connect(m_btnReboot, &QPushButton::clicked, this, &CCorvaneDlg::OnBnClickedReboot);
    connect(m_btnFactoryReset, &QPushButton::clicked, this, &CCorvaneDlg::OnBnClickedFactoryReset);

    connect(&m_search, &DeviceSearch::deviceFound, this, &CCorvaneDlg::ListDevice);
    connect(&m_search, &DeviceSearch::onvifDeviceFound, this, &CCorvaneDlg::ListOnvifDevice);
    connect(&m_search, &DeviceSearch::onvifDeviceChanged, this, [this](const OnvifDevice &seen) {
        if (const int index = OnvifIndexOf(seen.endpoint); index >= 0)
            FollowOnvifDevice(index, &seen);
    });
    connect(&m_search, &DeviceSearch::setNetworkAnswer, this, &CCorvaneDlg::OnSetNetworkAnswer);
    connect(&m_search, &DeviceSearch::receiveError, this,
            [this] { ShowMessageAfterReplies(QStringLiteral("recevie error!!! [Close Socket]")); });
    connect(&m_search.Repeater(), &SearchRepeater::repeated, this, [this] { ShowSearchCompleteness(false); });
    connect(&m_search.Repeater(), &SearchRepeater::finished, this, [this] { ShowSearchCompleteness(true); });
    connect(&m_search, &DeviceSearch::onvifSearchFinished, this, [this] {
        if (const QString summary = m_search.OnvifSummary(); !summary.isEmpty())
            ShowListNote(summary);
    });

    m_hideWaitTimer.setSingleShot(true);
    connect(&m_hideWaitTimer, &QTimer::timeout, this, &CCorvaneDlg::OnTimer);

    OnInitDialog();
    SetUpListExtras();
}

void CCorvaneDlg::ForgetListedDevices()
{
    m_nSelected = -1;
    m_listDevice->DeleteAllItems();
    m_pListFlags->Clear();
    m_arrDevices.clear();
    m_onvifDevices.clear();
    ++m_nSearchNumber;
}

void CCorvaneDlg::SetUpListExtras()
{
    m_pListFlags = std::make_unique<DeviceListFlags>(
        *m_listDevice, [this](int row) { return DeviceIndexOfRow(row); },
        [this](int device) {
            return FieldString(m_arrDevices[static_cast<std::size_t>(device)]->m_CameraInfo.mac_addr);
        });
    connect(m_listDevice, &CReportCtrl::reportSorted, this, [this] { m_pListFlags->RowsMoved(); });
    m_listDevice->SetCellNotes([this](int row, int column) {
        const int device = DeviceIndexOfRow(row);
        QString note = m_pListFlags->Note(device, column);
        // An ONVIF row says so on its number, to the eye (tooltip) and to a screen reader.
        if (const OnvifListing *onvif = OnvifDeviceAt(device); onvif && column == 0)
            note = note.isEmpty() ? OnvifRowNote(*onvif) : OnvifRowNote(*onvif) + QLatin1Char('\n') + note;
        return note;
    });
    // Devices are judged by the adapter chosen now; choosing another judges them again.
    m_pListFlags->SetAdapter(SelectedAdapter());
    connect(m_comboAdapter, &QComboBox::currentIndexChanged, this,
            [this] { m_pListFlags->SetAdapter(SelectedAdapter()); });
    m_pListMenu = new DeviceListMenu(*this);
}

CCorvaneDlg::~CCorvaneDlg()
{
    m_search.Onvif().Abandon(); // no answer may reach a window that is going
    m_search.CloseReplySocket();
    m_arrDevices.clear();
    m_search.Clear();
    m_arrAdapters.clear();
    // Ends a vendor search still running and waits for its worker before the window goes.
    m_pVendorDlg.reset();
    m_pWaitDlg.reset();
}

void CCorvaneDlg::OnInitDialog()
{
    UpdateData(false);
    setWindowIcon(m_hIcon);
    CreateVendorWindow();
    m_pWaitDlg = std::make_unique<CSplashMsgDlg>();
    m_pWaitDlg->Create(this);
    InitControls();
}

void CCorvaneDlg::CreateVendorWindow()
{
    m_pVendorDlg = std::make_unique<CHalvetranoDlg>();
    m_search.SetVendorWindow(m_pVendorDlg.get()); // its devices reach AddSearchedDevice's rule there
    connect(m_pVendorDlg.get(), &CHalvetranoDlg::vendorDone, this, &CCorvaneDlg::OnVendorDone);
}

void CCorvaneDlg::InitControls()
{
    CheckAddressing(m_nDhcp);
    LoadNetworkAdapters();
    if (m_comboAdapter->count() > 0)
        m_comboAdapter->setCurrentIndex(0);

    m_listDevice->InsertColumn(0, QString(), LVCFMT_CENTER, 0, -1);
    const int w = m_listDevice->width() - 8;
    const struct
    {
        const char *heading;
        int share;
    } columns[] = {{"   No.", 50},      {"MAC ADDRESS", 130},  {"IP ADDRESS", 130},
                   {"MODEL NAME", 130}, {"MANUFACTURER", 130}, {"VERSION", 130}};
    for (int i = 0; i < 6; ++i)
        m_listDevice->InsertColumn(i, QString::fromLatin1(columns[i].heading), LVCFMT_CENTER,
                                   w * columns[i].share / 700, -1);
    m_listDevice->EnableCheckboxes();

    const struct
    {
        QPushButton *button;
        const char *tooltip;
    } buttons[] = {{m_btnFactoryReset, "Factory Reset"},
                   {m_btnReboot, "Reboot"},
                   {m_btnSave, "Save and Apply"},
                   {m_btnSearch, "Search Device"}};
    for (const auto &[button, tooltip] : buttons) {
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, kButtonFace);
        button->setPalette(palette);
        button->setToolTip(QString::fromLatin1(tooltip));
        button->setFont(font());
    }
}

int CCorvaneDlg::LoadNetworkAdapters()
{
    m_arrAdapters.clear();
    const QList<HostInterface> interfaces = m_services.interfaces();
    if (interfaces.isEmpty()) {
        std::fprintf(stderr, "GetAdaptersAddresses() failed...");
        return -1;
    }
    m_arrAdapters = EnumerateAdapters(interfaces);
    for (const auto &adapter : m_arrAdapters)
        m_comboAdapter->addItem(AdapterComboText(*adapter));
    return 0;
}

bool CCorvaneDlg::UpdateData(bool saveAndValidate)
{
    exchangeText(Control(IDC_EDIT_DNS), m_strDns, saveAndValidate);
    exchangeText(Control(IDC_EDIT_GATEWAY), m_strGateway, saveAndValidate);
    exchangeText(Control(IDC_EDIT_IP), m_strIpAddress, saveAndValidate);
    exchangeText(Control(IDC_EDIT_MODEL), m_strModel, saveAndValidate);
    auto *webPort = static_cast<QLineEdit *>(Control(IDC_EDIT_WEBPORT));
    if (!saveAndValidate) {
        webPort->setText(QString::number(m_nWebPort));
    } else if (!parseInteger(webPort->text(), m_nWebPort)) {
        ShowMessage(QStringLiteral("Please enter an integer."));
        webPort->setFocus();
        return false;
    }
    exchangeText(Control(IDC_EDIT_SUBNET), m_strSubnetMask, saveAndValidate);
    exchangeText(Control(IDC_EDIT_PASSWORD), m_strPassword, saveAndValidate);
    exchangeText(Control(IDC_EDIT_USERID), m_strUserId, saveAndValidate);
    return true;
}

void CCorvaneDlg::ShowMessage(const QString &text)
{
    m_services.messageBox(this, text);
}

void CCorvaneDlg::ShowMessageAfterReplies(const QString &text)
{
    // A box opened while replies are handed over would hold back the ones behind it, and with
    // them the answers a running assignment waits for, until the person closes it.
    QMetaObject::invokeMethod(
        this, [this, text] { ShowMessage(text); }, Qt::QueuedConnection);
}

void CCorvaneDlg::OnShowMessage(const QString &text)
{
    ShowMessage(text);
}

void CCorvaneDlg::OnVendorDone()
{
    m_hideWaitTimer.start(kHideWaitMs); // a second report restarts the second
}

void CCorvaneDlg::OnTimer()
{
    m_hideWaitTimer.stop();
    if (m_pWaitDlg)
        m_pWaitDlg->hide();
}

void CCorvaneDlg::keyPressEvent(QKeyEvent *event)
{
    // Enter presses the push button that has the focus, as on the desktop the dialog comes
    // from; anywhere else it ends the dialog like Escape: there is no OK button to press.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto *button = qobject_cast<QPushButton *>(focusWidget()); button && button->isEnabled())
            button->click();
        else
            accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CCorvaneDlg::paintEvent(QPaintEvent *event)
{
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const int icon = style()->pixelMetric(QStyle::PM_LargeIconSize);
    painter.drawPixmap((width() - icon + 1) / 2, (height() - icon + 1) / 2, m_hIcon.pixmap(icon));
}

void CCorvaneDlg::SetAddressEditsEnabled(bool enabled)
{
    for (int id : {IDC_EDIT_IP, IDC_EDIT_SUBNET, IDC_EDIT_GATEWAY, IDC_EDIT_DNS})
        Control(id)->setEnabled(enabled);
}

void CCorvaneDlg::CheckAddressing(int dhcp)
{
    static_cast<QRadioButton *>(Control(dhcp ? IDC_RADIO_DHCP : IDC_RADIO_STATIC))->setChecked(true);
    static_cast<QRadioButton *>(Control(dhcp ? IDC_RADIO_STATIC : IDC_RADIO_DHCP))->setChecked(false);
}

void CCorvaneDlg::OnBnClickedSearch()
{
    ForgetListedDevices();
    m_search.Clear();

    SetEdits({});
    m_strModel.clear();
    CheckAddressing(0);
    SetAddressEditsEnabled(true);
    UpdateData(false);

    if (m_pWaitDlg) {
        m_pWaitDlg->m_strMessage = QStringLiteral("Please Wait...");
        m_pWaitDlg->UpdateData(false);
        m_pWaitDlg->show(); // first, so that its frame is known
        const QRect m = frameGeometry();
        const QRect p = m_pWaitDlg->frameGeometry();
        m_pWaitDlg->move(m.left() + (m.width() - p.width()) / 2, m.top() + (m.height() - p.height()) / 2);
    }

    m_search.CloseReplySocket();
    m_listDevice->setToolTip(QString());
    SendSearchRequest();

    if (!m_pVendorDlg)
        CreateVendorWindow();
    m_search.StartVendorSearch();
    update();
}

void CCorvaneDlg::SendSearchRequest()
{
    if (!m_search.OpenReplySocket())
        ShowMessage(QStringLiteral("Error create socket!!!"));
    // No adapter chosen, or one without IPv4 address: nothing is sent, and the search goes on
    // with the vendor family.
    m_search.SendRequest(SelectedAdapter());
    m_search.StartOnvifSearch(SelectedAdapter());
}

void CCorvaneDlg::ShowListNote(const QString &line)
{
    const QString shown = m_listDevice->toolTip();
    m_listDevice->setToolTip(shown.isEmpty() ? line : shown + QLatin1Char('\n') + line);
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void CCorvaneDlg::ShowSearchCompleteness(bool finished)
{
    const SearchRepeatPolicy &policy = m_search.Repeater().Policy();
    if (!finished) {
        m_listDevice->setToolTip(policy.Progress());
        return;
    }
    const QString summary = policy.Summary(static_cast<int>(m_arrDevices.size()));
    m_listDevice->setToolTip(summary);
    if (!summary.isEmpty()) {
        std::printf("%s\n", qPrintable(summary));
        std::fflush(stdout);
    }
}

const CNetworkAdapterObj *CCorvaneDlg::SelectedAdapter() const
{
    const int k = m_comboAdapter->currentIndex();
    if (k < 0 || k >= static_cast<int>(m_arrAdapters.size()))
        return nullptr;
    return m_arrAdapters[static_cast<size_t>(k)].get();
}

int CCorvaneDlg::AddSearchedDevice(CameraInfo record)
{
    return m_search.Offer(record) ? 1 : 0; // which lists it through ListDevice
}

void CCorvaneDlg::ListDevice(const CameraInfo &record)
{
    if (TakeOnvifRow(record))
        return;
    m_arrDevices.push_back(std::make_unique<CCameraInfoObj>(record));
    InsertDeviceRow(record);
}

QStringList CCorvaneDlg::RowCells(int device, const CameraInfo &record) const
{
    const bool vendor = FamilyOfDevice(device) == DeviceFamily::Vendor;
    return {QString::number(device + 1),
            FieldString(record.mac_addr),
            FieldString(record.ip_addr),
            FieldString(record.model_name),
            vendor ? QString() : FieldString(record.manufacturer),
            FieldString(record.version)};
}

void CCorvaneDlg::UpdateDeviceRow(int device)
{
    const QStringList cells = RowCells(device, m_arrDevices[static_cast<size_t>(device)]->m_CameraInfo);
    for (int row = 0; row < m_listDevice->GetItemCount(); ++row) {
        if (DeviceIndexOfRow(row) != device)
            continue;
        for (int j = 1; j < kShownColumns; ++j) {
            if (m_listDevice->GetItemText(row, j) != cells[j])
                m_listDevice->SetItemText(row, j, cells[j]);
        }
        m_listDevice->FitColumnsToRow(row);
        break;
    }
    m_pListFlags->Changed(device, cells[kIpColumn],
                          FieldString(m_arrDevices[static_cast<size_t>(device)]->m_CameraInfo.subnet_mask));
}

void CCorvaneDlg::ForgetDevice(int device)
{
    if (device < 0 || device >= static_cast<int>(m_arrDevices.size()))
        return;
    m_pListFlags->Removed(device); // first: it recolours rows as their numbers still are
    for (int row = m_listDevice->GetItemCount() - 1; row >= 0; --row) {
        const int shown = DeviceIndexOfRow(row);
        if (shown == device)
            m_listDevice->DeleteItem(row);
        else if (shown > device)
            m_listDevice->SetItemText(row, 0, QString::number(shown)); // one less than its number
    }
    m_arrDevices.erase(m_arrDevices.begin() + device);
    QHash<int, OnvifListing> onvif;
    onvif.reserve(m_onvifDevices.size());
    for (auto it = m_onvifDevices.cbegin(); it != m_onvifDevices.cend(); ++it) {
        if (it.key() != device)
            onvif.insert(it.key() > device ? it.key() - 1 : it.key(), *it);
    }
    m_onvifDevices = std::move(onvif);
    if (m_nSelected == device)
        m_nSelected = -1;
    else if (m_nSelected > device)
        --m_nSelected;
}

void CCorvaneDlg::InsertDeviceRow(const CameraInfo &record)
{
    const int n = m_listDevice->GetItemCount();
    m_listDevice->InsertItem(n, QString());
    const QStringList cells = RowCells(n, record);
    for (int j = 0; j < kShownColumns; ++j) {
        m_listDevice->SetItemText(n, j, cells[j]);
        m_listDevice->SetColumnFormat(j, LVCFMT_LEFT);
    }
    // The shares of the list's width are where the columns start: a MAC address must show whole.
    m_listDevice->FitColumnsToRow(n);
    m_pListFlags->Added(n, n, cells[kMacColumn], cells[kIpColumn],
                        FieldString(record.subnet_mask)); // row n shows device n
}

int CCorvaneDlg::DeviceIndexOfRow(int item) const
{
    // The row's number, not its index, names the device: sorting moves rows.
    return std::atoi(m_listDevice->GetItemText(item, 0).toLatin1().constData()) - 1;
}

CCameraInfoObj *CCorvaneDlg::SelectedDevice()
{
    if (m_nSelected < 0 || m_nSelected >= static_cast<int>(m_arrDevices.size())) {
        ShowMessage(QStringLiteral("The selected row names no listed device."));
        return nullptr;
    }
    return m_arrDevices[static_cast<size_t>(m_nSelected)].get();
}

CCameraInfoObj *CCorvaneDlg::SelectRow(int item)
{
    if (item < 0 || item >= static_cast<int>(m_arrDevices.size()))
        return nullptr;
    m_nSelected = DeviceIndexOfRow(item);
    return SelectedDevice();
}

void CCorvaneDlg::OnNMClickListDevice(int item)
{
    CCameraInfoObj *device = SelectRow(item);
    if (!device)
        return;
    if (OnvifDeviceAt(m_nSelected)) {
        OnClickOnvifDevice(m_nSelected);
        return;
    }
    ShowOnvifFieldNote(QString());
    CameraInfo &info = device->m_CameraInfo;
    info.header.pass_wd[0] = '\0'; // the password field always starts empty
    SetEdits(EditsOf(info));
    m_strModel = FieldString(info.model_name);
    CheckAddressing(m_nDhcp);
    SetAddressEditsEnabled(m_nDhcp == 0);
    UpdateData(false);
}

void CCorvaneDlg::OnNMDblclkListDevice(int item)
{
    const CCameraInfoObj *device = SelectRow(item);
    if (!device)
        return;
    const QString address = DeviceWebAddress(device->m_CameraInfo);
    if (!address.isEmpty()) // an unknown scheme gives no address: nothing to open
        m_services.openUrl(QUrl(address));
}

// The search reads the socket itself; these are its steps, under the window's names.
void CCorvaneDlg::OnReceivePacket()
{
    m_search.OnReceivePacket();
}

void CCorvaneDlg::DispatchReply(const char *buffer, qint64 size)
{
    m_search.DispatchReply(buffer, size);
}

void CCorvaneDlg::OnSetNetworkAnswer(const CameraInfo &answer)
{
    if (m_search.AnswerOwner(answer))
        return; // an assignment changes that device, and its dialog reports the answer
    if (m_nSelected < 0 || m_nSelected >= static_cast<int>(m_arrDevices.size()))
        return;
    if (!IsAnswerFrom(answer, m_arrDevices[static_cast<size_t>(m_nSelected)]->m_CameraInfo) || m_bResultShown == 1)
        return;
    m_bResultShown = 1;
    if (const char *message = ResultMessage(answer.header.result))
        ShowMessageAfterReplies(QString::fromLatin1(message));
}

NetworkEdits CCorvaneDlg::Edits() const
{
    return {m_strIpAddress, m_strSubnetMask, m_strGateway, m_strDns, m_nWebPort, m_nDhcp, m_strUserId, m_strPassword};
}

void CCorvaneDlg::SetEdits(const NetworkEdits &edits)
{
    m_strIpAddress = edits.ipAddress;
    m_strSubnetMask = edits.subnetMask;
    m_strGateway = edits.gateway;
    m_strDns = edits.dns;
    m_nWebPort = edits.webPort;
    m_nDhcp = edits.dhcp;
    m_strUserId = edits.userId;
    m_strPassword = edits.password;
}

bool CCorvaneDlg::WriteEditsInto(CameraInfo &record)
{
    return WriteEdits(record, Edits());
}

CCameraInfoObj *CCorvaneDlg::SelectedDeviceWithFields()
{
    if (m_nSelected < 0)
        return nullptr;
    if (!UpdateData(true)) // a web port that is no number: nothing is done
        return nullptr;
    return SelectedDevice();
}

void CCorvaneDlg::OnBnClickedSave()
{
    CCameraInfoObj *selected = SelectedDeviceWithFields();
    if (!selected)
        return;
    if (OnvifDeviceAt(m_nSelected)) {
        // Its record is made from what the device said: nothing is written into it.
        SaveOnvifDevice(m_nSelected);
        m_bResultShown = 0;
        return;
    }
    CCameraInfoObj &device = *selected;
    const CCameraInfoObj backup(device.m_CameraInfo);
    WriteEditsInto(device.m_CameraInfo);

    const CNetworkAdapterObj *adapter = SelectedAdapter();
    if (!CanSendThrough(adapter)) {
        ShowMessage(NothingSentReason(adapter));
    } else if (!IsVendorFamily(device.m_CameraInfo)) {
        SendSetNetworkRequest(adapter, device.m_CameraInfo, m_services.devicePort);
    } else if (m_pVendorDlg) {
        const int result = ChangeVendorNetwork(*m_pVendorDlg, adapter->m_strAddress, backup.m_CameraInfo,
                                               device.m_CameraInfo, m_strPassword);
        ShowMessage(QString::fromLatin1(ResultMessage(result == 0 ? RESULT_OK : RESULT_FAILED)));
    }
    m_bResultShown = 0;
    device.m_CameraInfo = backup.m_CameraInfo;
}

void CCorvaneDlg::OnBnClickedStatic()
{
    m_nDhcp = 0;
    CheckAddressing(0);
    SetAddressEditsEnabled(true);
}

void CCorvaneDlg::OnBnClickedDhcp()
{
    m_nDhcp = 1;
    CheckAddressing(1);
    SetAddressEditsEnabled(false);
}

void CCorvaneDlg::OnBnClickedReboot()
{
    RunOnCheckedRows(true);
}

void CCorvaneDlg::OnBnClickedFactoryReset()
{
    RunOnCheckedRows(false);
}

void CCorvaneDlg::RunOnCheckedRows(bool reboot)
{
    CCameraInfoObj *selected = SelectedDeviceWithFields();
    if (!selected)
        return;
    if (!OnvifDeviceAt(m_nSelected))
        WriteEditsInto(selected->m_CameraInfo);

    // Taken before the first box: while one is open, answers still come in, and an ONVIF row may
    // go or become its own family's. Own and vendor devices stay where they are.
    struct Ticked
    {
        CCameraInfoObj *device = nullptr; // nullptr: the row names no listed device
        QString who;
        std::optional<OnvifDevice> onvif;
    };
    std::vector<Ticked> ticked;
    for (int row = 0; row < m_listDevice->GetItemCount(); ++row) {
        if (!(m_listDevice->GetCheck(row) > 0))
            continue;
        const int index = DeviceIndexOfRow(row);
        if (index < 0 || index >= static_cast<int>(m_arrDevices.size())) {
            ticked.push_back({});
            break;
        }
        CCameraInfoObj *device = m_arrDevices[static_cast<size_t>(index)].get();
        const CameraInfo &info = device->m_CameraInfo;
        const OnvifListing *onvif = OnvifDeviceAt(index);
        ticked.push_back(
            {device, QStringLiteral("IP : %1 / MAC :%2").arg(FieldString(info.ip_addr), FieldString(info.mac_addr)),
             onvif ? std::optional(onvif->device) : std::nullopt});
    }

    QList<std::pair<QString, OnvifDevice>> onvif;
    for (const Ticked &target : ticked) {
        if (!target.device) {
            ShowMessage(QStringLiteral("A checked row names no listed device."));
            return;
        }
        if (reboot)
            ShowMessage(target.who);
        if (target.onvif)
            onvif.append({target.who, *target.onvif});
        else if (IsVendorFamily(target.device->m_CameraInfo) && m_pVendorDlg)
            RunVendorCommand(*m_pVendorDlg, target.device->m_CameraInfo, m_strPassword,
                             reboot ? VendorCommand::Reboot : VendorCommand::FactoryReset);
    }
    if (!onvif.isEmpty())
        RunOnvifCommand(onvif, reboot);
}

DeviceFamily CCorvaneDlg::FamilyOfDevice(int index) const
{
    if (m_onvifDevices.contains(index))
        return DeviceFamily::Onvif;
    if (index < 0 || index >= static_cast<int>(m_arrDevices.size()))
        return DeviceFamily::Own;
    return FamilyOf(m_arrDevices[static_cast<size_t>(index)]->m_CameraInfo);
}

DeviceFieldList CCorvaneDlg::FieldsOfDevice(int index) const
{
    return DeviceFields(m_arrDevices[static_cast<size_t>(index)]->m_CameraInfo, FamilyOfDevice(index),
                        OnvifDeviceAt(index));
}

const OnvifListing *CCorvaneDlg::OnvifDeviceAt(int index) const
{
    const auto it = m_onvifDevices.constFind(index);
    return it == m_onvifDevices.cend() ? nullptr : &*it;
}
