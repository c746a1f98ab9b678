#pragma once

#include "AddressPlan.h"
#include "CameraInfo.h"
#include "DeviceFields.h"
#include "SearchRound.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class CHalvetranoDlg;
class CNetworkAdapterObj;
class DeviceSearch;
class QThread;

// Applies a plan, device after device, as Save does for one: the settings a row gives
// replace the found record's, every other field goes back as the device sent it. It waits
// for each device's answer (own family) or the vendor library (vendor family) before the
// next, and ends with a search that checks every device that said "Apply" answers with its
// new settings. An ONVIF device's current settings are read with the login first and only what
// differs is changed; the check looks for its endpoint at the new address. While it runs, the
// answers of the devices it has begun are its own (DeviceSearch::ClaimAnswers): a window does
// not report them as a Save's. Nothing blocks: progress comes as signals, on the thread it
// belongs to, so a window can show it while it runs and a command line can run it in its event
// loop.
class PlanApply final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlanApply)

public:
    struct Settings
    {
        QString password;    // for every row
        QString defaultUser; // for rows without a user; empty: the user ID the device reported
        bool verify = true;
        bool dryRun = false; // nothing is sent; each row's result says what would be
        bool force = false;  // send to a device whose settings already equal the row's too
        int answerTimeoutMs = 3000;
        int verifyWaitMs = 3000;
    };

    // What became of a row.
    struct Outcome
    {
        QString result; // "Apply", "unchanged", a "Failed..." message, "no answer", "not found", why it is malformed
        bool ok = false;
        bool unchanged = false; // the device already had the settings: nothing was sent
        QStringList changes;    // the settings that differ from the device's, by their column names
        QString verified;       // "found at 10.77.1.31", "not found at ...", empty when not checked
        bool verifiedOk = false;
    };

    // search must have its reply socket open: answers arrive there. vendor may be null (vendor
    // rows then fail). The adapter's address is the source of every request. The check runs
    // on search as a new search does: it forgets the devices reported so far and reports every
    // device again through deviceFound, so a window that lists those empties its list when
    // verifying() comes.
    PlanApply(DeviceSearch &search, CHalvetranoDlg *vendor, const CNetworkAdapterObj &adapter,
              QObject *parent = nullptr);
    ~PlanApply() override;

    // found: the devices a search found, in which the rows' MACs are looked up (exact text,
    // else ignoring letter case).
    void Start(const QList<PlanRow> &rows, const QList<CameraInfo> &found, const Settings &settings);
    // The same with each device's family kept beside its record; rows may also name an ONVIF
    // device by its endpoint address.
    void Start(const QList<PlanRow> &rows, const QList<FoundDevice> &found, const Settings &settings);
    // Stops before the next device: rows not begun get "cancelled" (through rowResult too),
    // and nothing is checked. A running check ends at once.
    void Cancel();

    bool IsRunning() const { return m_running; }
    const QList<Outcome> &Outcomes() const { return m_outcomes; }
    // True when every row was applied and, where checked, verified.
    bool AllSucceeded() const;

Q_SIGNALS:
    void rowStarted(int row);
    void rowResult(int row, const QString &result, bool ok);
    void verifying(); // the checking search has begun
    void rowVerified(int row, const QString &text, bool ok);
    void finished();

private:
    struct Sent
    {
        CameraInfo found{};
        CameraInfo edited{};
        std::optional<OnvifListing> onvif;
        OnvifSettings wanted; // ONVIF: what Save asked of the device
    };

    void NextRow();
    void EndRow(const QString &result, bool ok);
    void OnAnswer(const CameraInfo &answer);
    void StartVendorChange();
    void StartOnvifChange();
    void Verify();
    void OnVerified();
    void Finish();

    DeviceSearch &m_search;
    CHalvetranoDlg *m_vendor;
    const CNetworkAdapterObj &m_adapter;
    QList<PlanRow> m_rows;
    QList<FoundDevice> m_found;
    Settings m_settings;
    QList<Outcome> m_outcomes;
    QList<Sent> m_sent; // per row

    int m_current = -1;
    SearchRound::Families m_verifyFamilies;
    int m_onvifCheckRounds = 0;
    bool m_running = false;
    bool m_cancelled = false;
    bool m_waitingForAnswer = false;
    QTimer m_answerTimer;
    std::unique_ptr<QThread> m_vendorWorker;
    SearchRound m_round;
};

// The edits a row makes to a found record, as Save would write them: given settings replace
// the record's, the password is digested (own family) or kept plain (vendor family) at pass_wd.
CameraInfo EditedRecord(const CameraInfo &found, const PlanRow &row, const QString &defaultUser,
                        const QString &password);

// The settings (by their plan column names) in which edited differs from found; only those the
// device's family takes. Every request may make a device restart its network, so an empty list
// means nothing is sent.
QStringList ChangedSettings(const CameraInfo &found, const CameraInfo &edited);

// A row's outcome for scripts: mac, line (plan rows only), outcome (changed, unchanged,
// would_change, unverified or failed), ok, result, changes, verified and verified_ok (null
// when not checked).
DeviceFieldList OutcomeFields(const PlanRow &row, const PlanApply::Outcome &outcome, bool dryRun);

// What a row would send, for people: "ip 10.77.1.31, mask 255.255.255.0, ..., user admin".
QString DescribeEdits(const CameraInfo &edited);
