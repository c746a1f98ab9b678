#pragma once

#include "CNetworkAdapterObj.h"
#include "CommandLine.h"
#include "CoreServices.h"
#include "DeviceFields.h"
#include "DeviceWatch.h"
#include "OnvifDevice.h"
#include "SearchRound.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

class CHalvetranoDlg;
class DeviceOutput;
class DeviceSearch;
class PlanApply;
class OnvifDiscovery;
class RestartWatch;

// Runs one verb of corvanectl in the application's event loop and ends it with the verb's
// exit code. Data goes to out, messages to standard error.
class CorvaneCtl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CorvaneCtl)

public:
    CorvaneCtl(CtlOptions options, std::FILE *out, CoreServices services = {}, QObject *parent = nullptr);
    ~CorvaneCtl() override;

    // Starts the verb; it calls QCoreApplication::exit with its code when done. Returns false,
    // with exitCode() set, when it ended before the event loop was needed.
    bool Start();
    int ExitCode() const { return m_exitCode; }

private:
    bool ChooseAdapters(bool allowAll, bool required);
    bool OpenSearch(bool needsReplyPort);
    bool GetPassword();
    void Done(int code);
    void Message(const QString &text) const;
    void Print(const QByteArray &data) const;
    DeviceFieldList FieldsOf(const FoundDevice &device) const;

    void RunAdapters();
    void RunSearch();
    void RunSet();
    void SetFoundDevice();
    void RunVendorCommand();
    void RunCommandOnFoundDevices();
    void RunApply();
    void RunWatch();
    void NextWatchRound();
    void HearOnvifAnnouncements();
    void PrintWatchChanges(const QList<DeviceChange> &changes);
    void ApplyRows(const QList<PlanRow> &rows);
    // Waits for the vendor-family and ONVIF devices named to restart.
    void WaitUntilBack(const QStringList &vendorNames, const QStringList &onvifEndpoints);
    void ReportVendorCommands();

    // What a reboot or factory reset did to one device.
    struct VendorOutcome
    {
        QString mac;
        QString result;
        bool ok = false;
    };

    // ONVIF devices (CorvaneCtlOnvif.cpp).
    // search --user: the password too; false, with the exit code set, when it cannot be had.
    bool GetOnvifLogin();
    // Reads the device's settings with the login, then lists it, failed or not.
    void ReadOnvifThenList(FoundDevice device);
    void EndSearchIfDone();
    // When a name is a MAC the search did not find, and a login is given, reads the ONVIF devices
    // whose MAC is unknown (SearchRound::LearnOnvifMacs) before then runs.
    void LearnOnvifMacs(const QStringList &names, const std::function<void()> &then);
    // Reboots or resets the ONVIF devices that reboot and factory-reset named, one after the
    // other, each with its outcome among the vendor devices', then runs then.
    void RunOnvifCommands(const std::function<void()> &then);

    CtlOptions m_options;
    std::FILE *m_out;
    CoreServices m_services;
    int m_exitCode = 0;
    QString m_password;
    std::vector<std::unique_ptr<CNetworkAdapterObj>> m_adapters;
    QList<const CNetworkAdapterObj *> m_chosen;
    bool m_all = false;
    std::unique_ptr<CHalvetranoDlg> m_vendor;
    std::unique_ptr<DeviceSearch> m_search;
    std::unique_ptr<SearchRound> m_round;
    std::unique_ptr<PlanApply> m_apply;
    std::unique_ptr<RestartWatch> m_restart;
    QList<VendorOutcome> m_vendorOutcomes;
    std::unique_ptr<DeviceOutput> m_output;
    DeviceWatch m_watch;
    std::vector<std::unique_ptr<OnvifDiscovery>> m_announcements; // watch: Hello and Bye, one an adapter
    QTimer m_timer;
    QElapsedTimer m_roundClock;
    std::optional<OnvifLogin> m_onvifLogin; // search: read ONVIF devices' settings with it
    int m_onvifReadsRunning = 0;
    bool m_onvifReadFailed = false;
    bool m_searchEnded = false;
    QList<std::pair<QString, OnvifListing>> m_onvifCommands; // name given, device
    QStringList m_onvifRequested;                            // endpoints of those whose command was taken
    QHash<QString, QString> m_waitNames;                     // such an endpoint: the name given
};
