#pragma once

#include "CCameraInfoObj.h"
#include "CNetworkAdapterObj.h"
#include "CoreServices.h"
#include "DeviceFields.h"
#include "DeviceSearch.h"
#include "OnvifListing.h"
#include "OnvifMoveCheck.h"
#include "SetNetwork.h"

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class CHalvetranoDlg;
class CReportCtrl;
class DeviceListFlags;
class DeviceListMenu;
class CSplashMsgDlg;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// What the main window takes from its surroundings; tests replace any of it.
struct CorvaneServices : CoreServices
{
    std::function<void(QWidget *parent, const QString &text)> messageBox; // default: an OK-only box
    std::function<void(const QUrl &address)> openUrl;                     // default: the user's browser
    // The file "Export list..." writes; empty: none chosen. Default: the platform's save dialog.
    std::function<QString(QWidget *parent, const QString &suggestedName)> saveFileName;
};

// The main window: adapter choice, device search, the device list, the selected device's
// settings and the commands that change them.
class CCorvaneDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCorvaneDlg)

public:
    static constexpr int IDD_MAIN_DIALOG = 102;
    static constexpr int IDC_COMBO_ADAPTER = 1001;
    static constexpr int IDC_BTN_SEARCH = 1003;
    static constexpr int IDC_LIST_DEVICE = 1004;
    static constexpr int IDC_EDIT_MODEL = 1005;
    static constexpr int IDC_RADIO_STATIC = 1007;
    static constexpr int IDC_RADIO_DHCP = 1008;
    static constexpr int IDC_EDIT_IP = 1009;
    static constexpr int IDC_EDIT_SUBNET = 1010;
    static constexpr int IDC_EDIT_GATEWAY = 1011;
    static constexpr int IDC_EDIT_DNS = 1012;
    static constexpr int IDC_EDIT_WEBPORT = 1013;
    static constexpr int IDC_EDIT_USERID = 1014;
    static constexpr int IDC_EDIT_PASSWORD = 1015;
    static constexpr int IDC_BTN_SAVE = 1016;
    static constexpr int IDC_BTN_REBOOT = 1017;
    static constexpr int IDC_BTN_FACTORY_RESET = 1018;
    static constexpr int IDT_HIDE_WAIT = 1001;
    static constexpr int kHideWaitMs = 1000;
    // Columns of the device list: "   No." to VERSION are shown, a zero-width one follows.
    static constexpr int kMacColumn = 1;
    static constexpr int kIpColumn = 2;
    static constexpr int kShownColumns = 6;

    explicit CCorvaneDlg(CorvaneServices services = {}, QWidget *parent = nullptr);
    ~CCorvaneDlg() override;

    // Appends a device unless it is already listed (same MAC text), its MAC text is empty or,
    // while the list is empty, shorter than 12 characters. 1 when added.
    int AddSearchedDevice(CameraInfo record);
    int LoadNetworkAdapters();
    void SendSearchRequest();
    // Moves the members into the controls (false) or the controls into the members (true);
    // false when a number field holds no number (the user has been told).
    bool UpdateData(bool saveAndValidate);

    QWidget *Control(int id) const { return m_controls.value(id); }

    // Handlers, public so that a test can drive them as the controls do.
    void OnBnClickedSearch();
    void OnNMClickListDevice(int item);
    void OnNMDblclkListDevice(int item);
    void OnReceivePacket();
    // What OnReceivePacket does with a datagram it has read: buffer holds its first
    // min(size, 372) bytes, size is its whole length.
    void DispatchReply(const char *buffer, qint64 size);
    void OnVendorDone();
    void OnShowMessage(const QString &text);
    void OnBnClickedSave();
    void OnBnClickedStatic();
    void OnBnClickedDhcp();
    void OnBnClickedReboot();
    void OnBnClickedFactoryReset();

    // Takes a device out of the list: the devices listed after it move up one number, so that
    // a row's number still names its device.
    void ForgetDevice(int device);

    // The family of the device at index in m_arrDevices, and its fields as the CSV has them.
    DeviceFamily FamilyOfDevice(int index) const;
    DeviceFieldList FieldsOfDevice(int index) const;
    // The ONVIF device at index; nullptr when it is of another family.
    const OnvifListing *OnvifDeviceAt(int index) const;

    // Declared before m_services: it is built from the services before they are moved there.
    DeviceSearch m_search;
    // Whether the ONVIF device Save moved answers at its new address (one check at a time).
    OnvifMoveCheck m_onvifMoveCheck{m_search.Services().onvifDiscovery};
    std::unique_ptr<CHalvetranoDlg> m_pVendorDlg;
    std::unique_ptr<CSplashMsgDlg> m_pWaitDlg;
    QIcon m_hIcon;
    CReportCtrl *m_listDevice = nullptr;
    // The search owns the socket on which devices answer.
    const std::unique_ptr<CTalbrixReceveSocket> &m_pReceiveSocket = m_search.ReplySocket();
    QString m_strDns;
    QString m_strGateway;
    QString m_strIpAddress;
    QString m_strModel;
    int m_nWebPort = 0;
    QString m_strSubnetMask;
    QString m_strPassword;
    QString m_strUserId;
    int m_nDhcp = 0;
    std::vector<std::unique_ptr<CCameraInfoObj>> m_arrDevices;
    // The ONVIF devices among them, by index in m_arrDevices: the family is kept here, never
    // taken from a record. Their records are made from the listing (OnvifRecord).
    QHash<int, OnvifListing> m_onvifDevices;
    int m_nSelected = -1;
    int m_bResultShown = 0;
    QComboBox *m_comboAdapter = nullptr;
    std::vector<std::unique_ptr<CNetworkAdapterObj>> m_arrAdapters;
    QPushButton *m_btnFactoryReset = nullptr;
    QPushButton *m_btnReboot = nullptr;
    QPushButton *m_btnSave = nullptr;
    QPushButton *m_btnSearch = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void OnInitDialog();
    void InitControls();
    void OnTimer();
    // Appends a device the search reports: its entry and its row.
    void ListDevice(const CameraInfo &record);
    void InsertDeviceRow(const CameraInfo &record);
    // The texts of a device's six shown cells.
    QStringList RowCells(int device, const CameraInfo &record) const;
    // Writes a listed device's cells again after its record changed.
    void UpdateDeviceRow(int device);

    // ONVIF devices (CCorvaneDlgOnvif.cpp).
    void ListOnvifDevice(const OnvifDevice &device);
    // Writes the row of the ONVIF device at index again, after it was seen (answering or
    // announcing itself, maybe at other addresses) or its listing changed.
    void FollowOnvifDevice(int index, const OnvifDevice *seen);
    // A device of the own or vendor family whose MAC an ONVIF row already shows takes that
    // row's place; true when it did.
    bool TakeOnvifRow(const CameraInfo &record);
    void OnClickOnvifDevice(int index);
    // Fills the fields from the ONVIF device's record, with the User ID and Password as typed.
    void ShowOnvifFields(int index);
    // Index of the ONVIF device of that endpoint; -1 when none is listed (any more). Answers
    // that come later name their device by it: indices move when a row goes.
    int OnvifIndexOf(const QString &endpoint) const;
    // A login showed that the ONVIF device at index is one listed under its own family: its
    // row goes, and if it was selected, that row is selected instead.
    void DropOnvifDuplicate(int index, const QString &mac);
    void ReadOnvifSettings(int index, const OnvifLogin &login);
    // Says in the address fields, without a box, what stands in for the settings not shown.
    void ShowOnvifFieldNote(const QString &note);
    void SaveOnvifDevice(int index);
    // After an "Apply": the row follows the device to where discovery finds it; a device not
    // found where it was put is told in the list's tooltip and on standard output.
    void CheckOnvifMove(const QString &endpoint, const OnvifSettings &wanted);
    // Reboots or resets the ticked ONVIF devices, each with how its row names it, and tells
    // how each ended.
    void RunOnvifCommand(const QList<std::pair<QString, OnvifDevice>> &devices, bool reboot);
    // Index in m_arrDevices of the device a row shows.
    int DeviceIndexOfRow(int item) const;
    // Selects the device a row shows; nullptr when there is none (the user is told if the
    // row's number names no device).
    CCameraInfoObj *SelectRow(int item);
    CCameraInfoObj *SelectedDevice();
    // The selected device after the fields have been read; nullptr when there is none or a
    // field could not be read (the user has been told).
    CCameraInfoObj *SelectedDeviceWithFields();
    void SetAddressEditsEnabled(bool enabled);
    void CheckAddressing(int dhcp);
    void CreateVendorWindow();
    void ShowMessage(const QString &text);
    // A line for the list's tooltip, after what it says, and for standard output: no box.
    void ShowListNote(const QString &line);
    // For what replies bring: shown once the replies being handed over have been handled.
    void ShowMessageAfterReplies(const QString &text);
    // The adapter chosen in the combo box; nullptr when none is.
    const CNetworkAdapterObj *SelectedAdapter() const;
    NetworkEdits Edits() const;
    void SetEdits(const NetworkEdits &edits);
    bool WriteEditsInto(CameraInfo &record);
    void OnSetNetworkAnswer(const CameraInfo &answer);
    void RunOnCheckedRows(bool reboot);
    // Tells, under the list (its tooltip) and on standard output, when answers were dropped.
    void ShowSearchCompleteness(bool finished);

    // The list's flags and context menu, beside what the window always had.
    void SetUpListExtras();
    // Empties the list and the device array (the first steps of a search).
    void ForgetListedDevices();

    CorvaneServices m_services;
    QHash<int, QWidget *> m_controls;
    QTimer m_hideWaitTimer;
    std::unique_ptr<DeviceListFlags> m_pListFlags;
    DeviceListMenu *m_pListMenu = nullptr; // a child of this window
    int m_nSearchNumber = 0;               // an ONVIF answer of an earlier search is not shown

    friend class DeviceListMenu; // the list's menu acts on the window's devices as its buttons do
};
