#pragma once

#include "CNetworkAdapterObj.h"
#include "CameraInfo.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class CHalvetranoDlg;
class DeviceSearch;
class PlanApply;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// "Assign addresses to ticked devices": the first address, mask, gateway, DNS, user ID and
// password; the plan (each ticked device in list order, the next free address counting up);
// then the same apply step as `corvanectl apply`, each row's result as it comes, and the
// search that checks the devices answer at their new addresses. Cancel (or Escape) stops
// before the next device; when nothing runs it closes the dialog.
class AssignAddressesDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AssignAddressesDlg)

public:
    enum PlanColumn { ColumnNumber, ColumnMac, ColumnIp, ColumnNewIp, ColumnResult, ColumnCheck, ColumnCount };

    // ticked: the devices to change, in list order, with their row numbers; listed: every
    // listed device, whose addresses are not given again. The search, vendor window and
    // adapter are those Save uses.
    AssignAddressesDlg(QList<std::pair<int, CameraInfo>> ticked, QList<CameraInfo> listed, DeviceSearch &search,
                       CHalvetranoDlg *vendor, const CNetworkAdapterObj &adapter, QWidget *parent = nullptr);
    ~AssignAddressesDlg() override;

    // One address per device, counting up from first inside first's network under mask:
    // addresses another listed device uses are skipped, and so are the network's own and its
    // broadcast address. A device's own address may come back to it. nullopt for a device
    // when the network has no address left; an empty list when first or mask is unusable.
    static QList<std::optional<QString>> PlanAddresses(const QString &first, const QString &mask,
                                                       const QList<CameraInfo> &ticked,
                                                       const QList<CameraInfo> &listed);

    bool IsRunning() const;
    void reject() override;

Q_SIGNALS:
    // The checking search begins: the main window's list is refilled by it.
    void verifying();
    // Everything has ended; whether the check searched own-family and vendor devices again.
    void applyFinished(bool ownSearched, bool vendorSearched);

private:
    void UpdatePlan();
    void Apply();
    void SetRowText(int row, int column, const QString &text, std::optional<bool> ok = std::nullopt);
    void OnFinished();

    QList<std::pair<int, CameraInfo>> m_ticked;
    QList<CameraInfo> m_listed;
    DeviceSearch &m_search;
    CHalvetranoDlg *m_vendor;
    const CNetworkAdapterObj m_adapter; // the apply step keeps a reference to it
    QList<std::optional<QString>> m_plan;

    QLineEdit *m_editFirstIp = nullptr;
    QLineEdit *m_editMask = nullptr;
    QLineEdit *m_editGateway = nullptr;
    QLineEdit *m_editDns = nullptr;
    QLineEdit *m_editUserId = nullptr;
    QLineEdit *m_editPassword = nullptr;
    QLabel *m_status = nullptr;
    QTreeWidget *m_planView = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_btnApply = nullptr;
    QPushButton *m_btnCancel = nullptr;
    std::unique_ptr<PlanApply> m_apply;
    int m_nDone = 0;
    bool m_bOwnSearched = false;
    bool m_bVendorSearched = false;
};
