#pragma once

#include "CNetworkAdapterObj.h"
#include "CommandLine.h"
#include "CoreServices.h"
#include "DeviceFields.h"
#include "DeviceWatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

class CHalvetranoDlg;
class DeviceOutput;
class DeviceSearch;
class PlanApply;
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
    void RunVendorCommand();
    void RunApply();
    void RunWatch();
    void NextWatchRound();
    void ApplyRows(const QList<PlanRow> &rows);
    void WaitUntilBack(const QStringList &macs);
    void ReportVendorCommands();

    // What a reboot or factory reset did to one device.
    struct VendorOutcome
    {
        QString mac;
        QString result;
        bool ok = false;
    };

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
    QTimer m_timer;
    QElapsedTimer m_roundClock;
};
