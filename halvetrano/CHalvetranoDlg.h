#pragma once

#include "CameraInfo.h"
#include "ZEKSDK.h"
#include "ZekSdkLoader.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class QThread;

// Owns the vendor library for the program's run: building it starts the library, destroying
// it stops it. Runs the vendor search on worker threads and hands every device found to the
// user-interface thread as a record of the shared list; runs reboot, factory reset and
// network change of one device. Without a vendor library (standard error says so once) it
// finds no device and changes none, and the rest of the program works on.
class CHalvetranoDlg final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHalvetranoDlg)

public:
    static constexpr int kSearchTimeMs = 3000;
    static constexpr int kModifyTimeMs = 3000;

    // Loads the vendor library from where CORVANE_ZEKSDK or the usual places say.
    explicit CHalvetranoDlg(QObject *parent = nullptr);
    // Loads the vendor library from libraryFile (a file, or a folder that holds it).
    explicit CHalvetranoDlg(const QString &libraryFile, QObject *parent = nullptr);
    // Ends a running search and waits for its worker before the library stops.
    ~CHalvetranoDlg() override;

    // One worker thread per call, at the highest priority; at most one library search runs.
    void StartSearch();
    static unsigned VendorSearchThreadProc(void *param);
    int SearchDevices();

    // What the library said to a reboot or factory reset: the login's result and the
    // command's (ZEK_OK: done).
    struct DeviceOperationResult
    {
        int login = ZEK_OK;
        int operation = ZEK_OK;
    };

    // Log in with m_TargetInfo (ip_addr, media_port, user_id, the plain password at pass_wd)
    // and reboot or reset that device. Always 0; what the device did goes to result.
    int RebootDevice(DeviceOperationResult *result = nullptr);
    int FactoryResetDevice(DeviceOperationResult *result = nullptr);
    // Changes the network of the device m_TargetInfo names to the settings of m_NewInfo.
    int ModifyNetwork();

    // The vendor library was found and loaded.
    bool HasLibrary() const { return m_bLibrary; }

    CameraInfo m_TargetInfo{};
    CameraInfo m_NewInfo{};
    std::atomic<int> m_bSearching{0};
    QString m_strHostIp = QStringLiteral("192.168.0.1");

Q_SIGNALS:
    void deviceFound(const CameraInfo &record);
    void vendorDone();

private:
    static int32_t VendorEventCallback(int32_t handle, int32_t event, int32_t param, intptr_t data, int32_t reserved);
    void OnVendorDeviceFound(const VendorDeviceInfo &info);
    int RunOnDevice(int32_t (*operation)(int32_t), DeviceOperationResult *result);
    // Runs fn on the user-interface thread and waits for it, unless the window is closing:
    // then it neither runs nor waits, so teardown never waits on a thread that waits for it.
    template<typename Fn>
    void SendToUiThread(Fn fn);

    ZekSdk m_sdk{};
    bool m_bLibrary = false;
    std::atomic<bool> m_closing{false};
    std::vector<std::unique_ptr<QThread>> m_workers;
};
