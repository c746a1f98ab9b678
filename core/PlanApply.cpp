#include "PlanApply.h"

#include "AdapterNetwork.h"
#include "CHalvetranoDlg.h"
#include "DeviceFields.h"
#include "DeviceSearch.h"
#include "OwnedThread.h"
#include "RecordText.h"
#include "SetNetwork.h"
#include "VendorCommands.h"
#include "ZEKSDK.h"

#include <QJsonArray>
#include <QPointer>
#include <QThread>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {
// The settings a row gives, as Save takes them from the fields: empty where the row says nothing.
NetworkEdits onvifEdits(const PlanRow &row)
{
    NetworkEdits edits;
    edits.ipAddress = row.ip.value_or(QString());
    edits.subnetMask = row.mask.value_or(QString());
    edits.gateway = row.gateway.value_or(QString());
    edits.dns = row.dns.value_or(QString());
    edits.webPort = row.webPort.value_or(0);
    edits.dhcp = row.dhcp.value_or(false) ? 1 : 0;
    return edits;
}

// An ONVIF device is found again by its endpoint.
std::pair<QString, bool> onvifVerification(const OnvifSettings &wanted, const OnvifListing &sent,
                                           const QList<FoundDevice> &now)
{
    const OnvifDevice *found = nullptr;
    for (const FoundDevice &device : now) {
        if (device.onvif && NamesOnvifDevice(*device.onvif, sent.device.endpoint))
            found = &device.onvif->device;
    }
    return OnvifMoveVerification(wanted, found);
}

// How the device answers now against what was sent; the fields the row gave are checked,
// and under DHCP the addresses are the server's to choose.
std::pair<QString, bool> verification(const CameraInfo &edited, const PlanRow &row, const CameraInfo *now)
{
    const QString wantedIp = DeviceText(edited.ip_addr);
    const bool dhcp = edited.dhcp != 0 && !IsVendorFamily(edited);
    if (!now)
        return {dhcp ? QStringLiteral("not found") : QStringLiteral("not found at %1").arg(wantedIp), false};
    const QString ip = DeviceText(now->ip_addr);
    if (!dhcp && ip != wantedIp)
        return {QStringLiteral("not found at %1: answers at %2").arg(wantedIp, ip), false};
    QStringList differences;
    const auto check = [&](bool given, const char *name, const QString &wanted, const QString &is) {
        if (given && wanted != is)
            differences << QStringLiteral("%1 is %2, not %3").arg(QLatin1String(name), is, wanted);
    };
    if (!dhcp) {
        check(row.mask.has_value(), "mask", DeviceText(edited.subnet_mask), DeviceText(now->subnet_mask));
        check(row.gateway.has_value(), "gateway", DeviceText(edited.gateway), DeviceText(now->gateway));
        check(row.dns.has_value(), "dns", DeviceText(edited.dns), DeviceText(now->dns));
    }
    if (!IsVendorFamily(edited)) {
        check(row.webPort.has_value(), "web_port", QString::number(edited.web_port), QString::number(now->web_port));
        check(row.dhcp.has_value(), "dhcp", QString::number(edited.dhcp != 0), QString::number(now->dhcp != 0));
    }
    QString text = QStringLiteral("found at %1").arg(ip);
    if (!differences.isEmpty())
        text += QStringLiteral(", but ") + differences.join(QStringLiteral(", "));
    return {text, differences.isEmpty()};
}
} // namespace

CameraInfo EditedRecord(const CameraInfo &found, const PlanRow &row, const QString &defaultUser,
                        const QString &password)
{
    NetworkEdits edits = EditsOf(found);
    edits.ipAddress = row.ip.value_or(edits.ipAddress);
    edits.subnetMask = row.mask.value_or(edits.subnetMask);
    edits.gateway = row.gateway.value_or(edits.gateway);
    edits.dns = row.dns.value_or(edits.dns);
    edits.webPort = row.webPort.value_or(edits.webPort);
    if (row.dhcp)
        edits.dhcp = *row.dhcp ? 1 : 0;
    edits.userId = row.user.value_or(defaultUser.isEmpty() ? edits.userId : defaultUser);
    edits.password = password;
    CameraInfo edited = found;
    WriteEdits(edited, edits);
    if (IsVendorFamily(edited))
        SetVendorPasswordText(edited, password);
    return edited;
}

QStringList ChangedSettings(const CameraInfo &found, const CameraInfo &edited)
{
    QStringList changes;
    const auto compare = [&changes](const char *name, const QString &was, const QString &is) {
        if (was != is)
            changes << QLatin1String(name);
    };
    compare("ip", DeviceText(found.ip_addr), DeviceText(edited.ip_addr));
    compare("mask", DeviceText(found.subnet_mask), DeviceText(edited.subnet_mask));
    compare("gateway", DeviceText(found.gateway), DeviceText(edited.gateway));
    compare("dns", DeviceText(found.dns), DeviceText(edited.dns));
    if (!IsVendorFamily(found)) { // the vendor library takes neither
        compare("web_port", QString::number(found.web_port), QString::number(edited.web_port));
        compare("dhcp", QString::number(found.dhcp != 0), QString::number(edited.dhcp != 0));
    }
    return changes;
}

DeviceFieldList OutcomeFields(const PlanRow &row, const PlanApply::Outcome &outcome, bool dryRun)
{
    const bool checked = !outcome.verified.isEmpty();
    const char *kind = !outcome.ok                      ? "failed"
                       : outcome.unchanged              ? "unchanged"
                       : dryRun                         ? "would_change"
                       : checked && !outcome.verifiedOk ? "unverified"
                                                        : "changed";
    DeviceFieldList fields{{"mac"_L1, row.mac}};
    if (row.line > 0)
        fields.append({"line"_L1, row.line});
    fields.append({{"outcome"_L1, QLatin1String(kind)},
                   {"ok"_L1, outcome.ok && (!checked || outcome.verifiedOk)},
                   {"result"_L1, outcome.result},
                   {"changes"_L1, QJsonArray::fromStringList(outcome.changes)},
                   {"verified"_L1, checked ? QJsonValue(outcome.verified) : QJsonValue()},
                   {"verified_ok"_L1, checked ? QJsonValue(outcome.verifiedOk) : QJsonValue()}});
    return fields;
}

QString DescribeEdits(const CameraInfo &edited)
{
    QStringList parts{
        QStringLiteral("ip %1").arg(DeviceText(edited.ip_addr)),
        QStringLiteral("mask %1").arg(DeviceText(edited.subnet_mask)),
        QStringLiteral("gateway %1").arg(DeviceText(edited.gateway)),
        QStringLiteral("dns %1").arg(DeviceText(edited.dns)),
    };
    if (!IsVendorFamily(edited)) { // the vendor library takes neither
        parts << QStringLiteral("web_port %1").arg(edited.web_port);
        parts << QStringLiteral("dhcp %1").arg(edited.dhcp != 0 ? QStringLiteral("true") : QStringLiteral("false"));
    }
    parts << QStringLiteral("user %1").arg(DeviceText(edited.header.user_id));
    return parts.join(QStringLiteral(", "));
}

PlanApply::PlanApply(DeviceSearch &search, CHalvetranoDlg *vendor, const CNetworkAdapterObj &adapter, QObject *parent)
    : QObject(parent)
    , m_search(search)
    , m_vendor(vendor)
    , m_adapter(adapter)
    , m_round(search)
{
    m_answerTimer.setSingleShot(true);
    connect(&m_answerTimer, &QTimer::timeout, this, [this] {
        m_waitingForAnswer = false;
        EndRow(QStringLiteral("no answer"), false);
    });
    connect(&m_search, &DeviceSearch::setNetworkAnswer, this, &PlanApply::OnAnswer);
    connect(&m_round, &SearchRound::finished, this, &PlanApply::OnVerified);
}

PlanApply::~PlanApply()
{
    if (m_vendorWorker)
        m_vendorWorker->wait(); // the library's own timeout bounds it
}

void PlanApply::Start(const QList<PlanRow> &rows, const QList<CameraInfo> &found, const Settings &settings)
{
    QList<FoundDevice> devices;
    for (const CameraInfo &record : found)
        devices.append(FoundDevice{record, FamilyOf(record), nullptr, std::nullopt});
    Start(rows, devices, settings);
}

void PlanApply::Start(const QList<PlanRow> &rows, const QList<FoundDevice> &found, const Settings &settings)
{
    m_rows = rows;
    m_found = found;
    m_settings = settings;
    m_outcomes = QList<Outcome>(rows.size());
    m_sent = QList<Sent>(rows.size());
    m_current = -1;
    m_running = true;
    m_cancelled = false;
    NextRow();
}

void PlanApply::Cancel()
{
    if (!m_running)
        return;
    m_cancelled = true;
    if (m_round.IsRunning()) {
        Finish();
    }
}

bool PlanApply::AllSucceeded() const
{
    return std::all_of(m_outcomes.cbegin(), m_outcomes.cend(), [this](const Outcome &outcome) {
        return outcome.ok && (outcome.unchanged || !m_settings.verify || m_settings.dryRun || outcome.verifiedOk);
    });
}

void PlanApply::NextRow()
{
    ++m_current;
    if (m_current >= m_rows.size() || m_cancelled) {
        for (qsizetype i = m_current; i < m_rows.size(); ++i) {
            m_outcomes[i].result = QStringLiteral("cancelled");
            Q_EMIT rowResult(static_cast<int>(i), m_outcomes[i].result, false);
        }
        Verify();
        return;
    }
    const PlanRow &row = m_rows[m_current];
    Q_EMIT rowStarted(m_current);
    if (!row.error.isEmpty()) {
        EndRow(row.error, false);
        return;
    }
    const FoundDevice *found = FindDevice(m_found, row.mac);
    if (!found) {
        EndRow(QStringLiteral("not found"), false);
        return;
    }
    // A device that another plan changes now would answer both; neither could tell whose.
    // ONVIF devices answer their own calls.
    if (!found->onvif && !m_search.ClaimAnswers(this, found->record)) {
        EndRow(QStringLiteral("another assignment is changing this device"), false);
        return;
    }
    Sent &sent = m_sent[m_current];
    sent.found = found->record;
    sent.onvif = found->onvif;
    if (sent.onvif) {
        if (m_settings.dryRun) {
            EndRow(QStringLiteral("would read the device's settings with the login, then change what differs"), true);
            return;
        }
        StartOnvifChange();
        return;
    }
    sent.edited = EditedRecord(found->record, row, m_settings.defaultUser, m_settings.password);
    Outcome &outcome = m_outcomes[m_current];
    outcome.changes = ChangedSettings(found->record, sent.edited);
    if (outcome.changes.isEmpty() && !m_settings.force) {
        outcome.unchanged = true;
        EndRow(QStringLiteral("unchanged"), true);
        return;
    }
    if (m_settings.dryRun) {
        EndRow(QStringLiteral("would send ") + DescribeEdits(sent.edited), true);
        return;
    }
    if (IsVendorFamily(sent.found)) {
        StartVendorChange();
        return;
    }
    if (!SendSetNetworkRequest(&m_adapter, sent.edited, m_search.Services().devicePort)) {
        EndRow(NothingSentReason(&m_adapter), false);
        return;
    }
    m_waitingForAnswer = true;
    m_answerTimer.start(m_settings.answerTimeoutMs);
}

void PlanApply::OnAnswer(const CameraInfo &answer)
{
    // Only the first answer of the device in hand counts, as Save reports one.
    if (!m_waitingForAnswer || !IsAnswerFrom(answer, m_sent[m_current].found))
        return;
    m_waitingForAnswer = false;
    m_answerTimer.stop();
    const qint32 code = answer.header.result;
    const char *message = ResultMessage(code);
    EndRow(message ? QString::fromLatin1(message) : QStringLiteral("result %1").arg(code), code == RESULT_OK);
}

void PlanApply::StartVendorChange()
{
    if (!m_vendor) {
        EndRow(QStringLiteral("the vendor library is not loaded"), false);
        return;
    }
    // The library waits for the device; a worker keeps this thread's events going meanwhile.
    auto result = std::make_shared<int>(ZEK_ERR_FAILED);
    const Sent sent = m_sent[m_current];
    const QString host = m_adapter.m_strAddress;
    const QString password = m_settings.password;
    CHalvetranoDlg *vendor = m_vendor;
    m_vendorWorker = MakeOwnedThread([vendor, host, sent, password, result] {
        CameraInfo edited = sent.edited;
        *result = ChangeVendorNetwork(*vendor, host, sent.found, edited, password);
    });
    connect(m_vendorWorker.get(), &QThread::finished, this, [this, result] {
        m_vendorWorker->wait();
        EndRow(VendorResultMessage(*result), *result == ZEK_OK);
    });
    m_vendorWorker->start();
}

void PlanApply::StartOnvifChange()
{
    const PlanRow &row = m_rows[m_current];
    const OnvifListing &listing = *m_sent[m_current].onvif;
    if (const QString reason = CredentialsWithheldReason(listing.device); !reason.isEmpty()) {
        EndRow(reason, false);
        return;
    }
    const OnvifLogin login{row.user.value_or(m_settings.defaultUser), m_settings.password};
    const int current = m_current;
    m_search.Onvif().Save(listing.device, login, onvifEdits(row), row.dhcp.has_value(),
                          [self = QPointer<PlanApply>(this), current](OnvifResult result, const OnvifSettings &was,
                                                                      const OnvifSettings &wanted) {
                              if (!self || !self->m_running || current != self->m_current)
                                  return;
                              self->m_sent[current].wanted = wanted;
                              Outcome &outcome = self->m_outcomes[current];
                              outcome.changes = ChangedSettings(OnvifSettingsRecord(was), OnvifSettingsRecord(wanted));
                              if (result == OnvifResult::Ok && outcome.changes.isEmpty()) {
                                  outcome.unchanged = true; // nothing was sent
                                  self->EndRow(QStringLiteral("unchanged"), true);
                                  return;
                              }
                              self->EndRow(OnvifResultText(result), result == OnvifResult::Ok);
                          });
}

void PlanApply::EndRow(const QString &result, bool ok)
{
    m_outcomes[m_current].result = result;
    m_outcomes[m_current].ok = ok;
    Q_EMIT rowResult(m_current, result, ok);
    // Queued: a signal handler that cancels, or a window that repaints, gets its turn first.
    QMetaObject::invokeMethod(this, &PlanApply::NextRow, Qt::QueuedConnection);
}

void PlanApply::Verify()
{
    SearchRound::Families families{false, false, false};
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (!m_outcomes[i].ok || m_outcomes[i].unchanged || m_settings.dryRun)
            continue;
        if (m_sent[i].onvif)
            families.onvif = true;
        else
            (IsVendorFamily(m_sent[i].found) ? families.vendor : families.own) = true;
    }
    if (!m_settings.verify || m_cancelled || !(families.own || families.vendor || families.onvif)) {
        Finish();
        return;
    }
    Q_EMIT verifying();
    m_verifyFamilies = families;
    m_onvifCheckRounds = 1;
    m_round.Start({&m_adapter}, m_settings.verifyWaitMs, families);
}

void PlanApply::OnVerified()
{
    if (!m_running)
        return;
    const QList<FoundDevice> &now = m_round.Devices();
    // An ONVIF device that waits for its reboot, or for its new address to settle, may still
    // answer at the old one: it gets a few more rounds before it counts as not moved.
    if (m_onvifCheckRounds < kOnvifMoveCheckRounds && !m_cancelled) {
        for (qsizetype i = 0; i < m_rows.size(); ++i) {
            if (m_outcomes[i].ok && m_sent[i].onvif
                && !onvifVerification(m_sent[i].wanted, *m_sent[i].onvif, now).second) {
                ++m_onvifCheckRounds;
                m_round.Start({&m_adapter}, m_settings.verifyWaitMs, m_verifyFamilies);
                return;
            }
        }
    }
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (!m_outcomes[i].ok || m_outcomes[i].unchanged)
            continue;
        const FoundDevice *found = FindDevice(now, m_rows[i].mac);
        const auto [text, ok] = m_sent[i].onvif
                                    ? onvifVerification(m_sent[i].wanted, *m_sent[i].onvif, now)
                                    : verification(m_sent[i].edited, m_rows[i], found ? &found->record : nullptr);
        m_outcomes[i].verified = text;
        m_outcomes[i].verifiedOk = ok;
        Q_EMIT rowVerified(static_cast<int>(i), text, ok);
    }
    Finish();
}

void PlanApply::Finish()
{
    if (!m_running)
        return;
    m_running = false;
    m_search.ReleaseAnswers(this);
    Q_EMIT finished();
}
