#pragma once

#include "CameraInfo.h"
#include "OnvifDevice.h"

#include <QList>
#include <QObject>
#include <QPoint>

class CCorvaneDlg;
class CReportCtrl;
class QAction;
class QMenu;

// The device list's context menu (right-click, the menu key, Shift+F10): open the device's web
// page, copy cells, tick all or none of the rows, export the list, assign addresses to the
// ticked devices.
class DeviceListMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceListMenu)

public:
    explicit DeviceListMenu(CCorvaneDlg &dialog);
    ~DeviceListMenu() override;

    QMenu *Menu() const { return m_menu; }
    // The menu's actions by object name ("openWebPage", "copyMac", "copyIp", "copyRow",
    // "tickAll", "tickNone", "exportList", "assignAddresses"); null for another name.
    QAction *Action(const QString &name) const;
    // Opens the menu for row (-1: none) at globalPos, without waiting for a choice.
    void Popup(const QPoint &globalPos, int row);

    void OpenWebPage();
    // The cells of column (-1: every shown column, tab-separated) of the selected rows, one line
    // each in list order, onto the clipboard; the menu's row when nothing is selected.
    void CopyColumn(int column);
    void TickAll(bool tick);
    // Every listed device, in the list's order, as `corvanectl search -o csv` writes it, into a
    // file the user chooses; a failed write leaves no file and says why.
    void ExportList();
    // Opens the assign dialog for the ticked devices (window-modal, not waited for).
    void AssignAddresses();

private:
    QList<int> RowsToCopy() const;
    QList<CameraInfo> ListedRecords() const; // in the list's order
    QAction *AddAction(QMenu *menu, const QString &name, const QString &text);

    CCorvaneDlg &m_dialog;
    CReportCtrl &m_list;
    QMenu *m_menu = nullptr; // a child of the list: it dies with the window
    int m_nMenuRow = -1;
    QList<CameraInfo> m_beforeCheck;       // the list as it was when an assignment's check began
    QList<OnvifDevice> m_onvifBeforeCheck; // its ONVIF devices, which the check does not ask
};
