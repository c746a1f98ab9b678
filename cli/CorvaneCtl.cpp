#include "CorvaneCtl.h"

#include "AdapterNetwork.h"
#include "CHalvetranoDlg.h"
#include "DeviceListFormat.h"
#include "DeviceOutput.h"
#include "DeviceSearch.h"
#include "OnvifDiscovery.h"
#include "PlanApply.h"
#include "RecordText.h"
#include "RestartWatch.h"
#include "SearchRound.h"
#include "VendorCommands.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>

using namespace Qt::Literals::StringLiterals;

namespace {
const QList<QLatin1StringView> kDeviceColumns{"family"_L1,   "mac"_L1,  "ip"_L1,    "mask"_L1,         "gateway"_L1,
                                              "web_port"_L1, "dhcp"_L1, "model"_L1, "manufacturer"_L1, "version"_L1};

bool isLoopback(const CNetworkAdapterObj &adapter)
{
    return QHostAddress(adapter.m_strAddress).isLoopback();
}

QString adapterList(const QList<const CNetworkAdapterObj *> &adapters)
{
    QStringList names;
    for (const CNetworkAdapterObj *adapter : adapters)
        names << QStringLiteral("%1 (%2)").arg(adapter->m_strName, adapter->m_strAddress);
    return names.join(QStringLiteral(", "));
}
} // namespace

CorvaneCtl::CorvaneCtl(CtlOptions options, std::FILE *out, CoreServices services, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_out(out)
    , m_services(std::move(services))
{
    m_timer.setSingleShot(true);
}

CorvaneCtl::~CorvaneCtl()
{
    // The apply step and the rounds use the search, which uses the vendor window.
    m_restart.reset();
    m_apply.reset();
    m_round.reset();
    m_search.reset();
    m_vendor.reset();
}

void CorvaneCtl::Message(const QString &text) const
{
    std::fprintf(stderr, "corvanectl: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void CorvaneCtl::Print(const QByteArray &data) const
{
    std::fwrite(data.constData(), 1, static_cast<size_t>(data.size()), m_out);
    std::fflush(m_out); // a script reading a pipe sees each line as it comes
}

void CorvaneCtl::Done(int code)
{
    m_exitCode = code;
    std::fflush(m_out);
    QCoreApplication::exit(code);
}

bool CorvaneCtl::Start()
{
    m_adapters = EnumerateAdapters(m_services.interfaces());
    switch (m_options.verb) {
    case Verb::Adapters: RunAdapters(); return false;
    case Verb::Search:
        if (!ChooseAdapters(true, m_options.families.own || m_options.families.onvif) || !GetOnvifLogin()
            || !OpenSearch(m_options.families.own))
            return false;
        RunSearch();
        return true;
    case Verb::Watch:
        if (!ChooseAdapters(true, m_options.families.own || m_options.families.onvif)
            || !OpenSearch(m_options.families.own))
            return false;
        RunWatch();
        return true;
    case Verb::Set:
        if (!ChooseAdapters(false, true) || !GetPassword() || !OpenSearch(true))
            return false;
        RunSet();
        return true;
    case Verb::Apply:
        if (!ChooseAdapters(false, true))
            return false;
        RunApply();
        return m_exitCode == kExitOk;
    case Verb::Reboot:
    case Verb::FactoryReset:
        // The vendor library needs no adapter; with one, own-family MACs are told apart.
        if (!ChooseAdapters(false, false) || !GetPassword() || !OpenSearch(!m_chosen.isEmpty()))
            return false;
        RunVendorCommand();
        return true;
    }
    return false;
}

bool CorvaneCtl::ChooseAdapters(bool allowAll, bool required)
{
    QList<const CNetworkAdapterObj *> usable;
    for (const auto &adapter : m_adapters) {
        if (!adapter->m_strAddress.isEmpty() && !isLoopback(*adapter))
            usable << adapter.get();
    }
    if (!m_options.adapter) {
        if (usable.size() == 1) {
            m_chosen = usable;
            return true;
        }
        if (!required)
            return true;
        if (usable.isEmpty()) {
            Message(u"no network adapter has an IPv4 address"_s);
            m_exitCode = kExitUnavailable;
        } else {
            Message(
                u"choose an adapter with -a: %1%2"_s.arg(adapterList(usable), allowAll ? u", or all"_s : QString()));
            m_exitCode = kExitUsage;
        }
        return false;
    }
    const QString &wanted = *m_options.adapter;
    if (allowAll && wanted == QLatin1String("all")) {
        m_all = true;
        m_chosen = usable;
        if (usable.isEmpty()) {
            Message(u"no network adapter has an IPv4 address"_s);
            m_exitCode = kExitUnavailable;
            return false;
        }
        return true;
    }
    for (const auto &adapter : m_adapters) {
        if (adapter->m_strName == wanted || (!wanted.isEmpty() && adapter->m_strAddress == wanted)) {
            if (!CanSendThrough(adapter.get())) {
                Message(NothingSentReason(adapter.get()));
                m_exitCode = kExitUnavailable;
                return false;
            }
            m_chosen = {adapter.get()};
            return true;
        }
    }
    Message(u"no adapter '%1'; the adapters are: %2"_s.arg(wanted, adapterList(usable)));
    m_exitCode = kExitUnavailable;
    return false;
}

bool CorvaneCtl::OpenSearch(bool needsReplyPort)
{
    m_vendor = std::make_unique<CHalvetranoDlg>();
    m_search = std::make_unique<DeviceSearch>(m_services);
    m_search->SetVendorWindow(m_vendor.get());
    if (needsReplyPort && !m_search->OpenReplySocket()) {
        Message(u"the reply port %1 cannot be had (Error create socket!!!): is Corvane or another corvanectl "
                "running?"_s.arg(m_services.replyPort));
        m_exitCode = kExitUnavailable;
        return false;
    }
    connect(m_search.get(), &DeviceSearch::receiveError, this,
            [this] { Message(u"recevie error!!! [Close Socket]: answers are no longer read"_s); });
    m_round = std::make_unique<SearchRound>(*m_search);
    return true;
}

bool CorvaneCtl::GetPassword()
{
    const PasswordResult result = ReadPassword(m_options.password);
    if (!result.password) {
        Message(result.error);
        m_exitCode = kExitUsage;
        return false;
    }
    m_password = *result.password;
    return true;
}

DeviceFieldList CorvaneCtl::FieldsOf(const FoundDevice &device) const
{
    DeviceFieldList fields = DeviceFields(device);
    if (m_all) {
        fields.append({"adapter"_L1, device.adapter ? device.adapter->m_strName : QString()});
        fields.append({"reachable"_L1, device.adapter != nullptr
                                           && IsInAdapterNetwork(*device.adapter, DeviceText(device.record.ip_addr))});
    }
    return fields;
}

void CorvaneCtl::RunAdapters()
{
    DeviceOutput output(m_options.format, m_out, {}, {"name"_L1, "address"_L1, "network"_L1});
    for (const auto &adapter : m_adapters) {
        output.Add({{"name"_L1, adapter->m_strName},
                    {"address"_L1, adapter->m_strAddress},
                    {"network"_L1, AdapterNetworkText(*adapter)}});
    }
    output.End();
    m_exitCode = kExitOk;
}

void CorvaneCtl::RunSearch()
{
    QList<QLatin1StringView> columns = kDeviceColumns;
    if (m_options.families.onvif && !m_options.families.own && !m_options.families.vendor)
        columns << "endpoint"_L1;
    if (m_onvifLogin && m_options.families.onvif)
        columns << "read_error"_L1;
    if (m_all)
        columns << "adapter"_L1
                << "reachable"_L1;
    m_output = std::make_unique<DeviceOutput>(m_options.format, m_out, FieldsOf(FoundDevice{}), columns);
    connect(m_round.get(), &SearchRound::deviceFound, this, [this](const FoundDevice &device) {
        if (!m_output)
            return; // the list has ended
        if (device.onvif && m_onvifLogin)
            ReadOnvifThenList(device);
        else
            m_output->Add(FieldsOf(device));
    });
    // The search ends after --wait an adapter, even while the vendor library still listens,
    // once the ONVIF devices' settings have been read.
    const auto end = [this] {
        m_searchEnded = true;
        EndSearchIfDone();
    };
    connect(&m_timer, &QTimer::timeout, this, end);
    connect(m_round.get(), &SearchRound::finished, this, end);
    m_timer.start(m_options.waitMs * static_cast<int>(std::max<qsizetype>(1, m_chosen.size())));
    m_round->Start(m_chosen, m_options.waitMs, m_options.families);
}

void CorvaneCtl::RunSet()
{
    connect(m_round.get(), &SearchRound::finished, this,
            [this] { LearnOnvifMacs({m_options.settings.mac}, [this] { SetFoundDevice(); }); });
    m_round->Start(m_chosen, m_options.waitMs);
}

void CorvaneCtl::SetFoundDevice()
{
    if (!m_round->Find(m_options.settings.mac)) {
        Message(u"%1: not found"_s.arg(m_options.settings.mac));
        if (m_options.format == OutputFormat::Json) {
            PlanApply::Outcome outcome;
            outcome.result = u"not found"_s;
            DeviceOutput output(m_options.format, m_out, {}, {});
            output.Add(OutcomeFields(m_options.settings, outcome, false));
            output.End();
        }
        Done(kExitFailed);
        return;
    }
    ApplyRows({m_options.settings});
}

void CorvaneCtl::ApplyRows(const QList<PlanRow> &rows)
{
    // The round's later signals are the apply step's own verification: stop listening here.
    disconnect(m_round.get(), nullptr, this, nullptr);
    const QList<FoundDevice> found = m_round->Devices();
    m_apply = std::make_unique<PlanApply>(*m_search, m_vendor.get(), *m_chosen.front());
    const bool isSet = m_options.verb == Verb::Set;
    const bool forMachines = m_options.format == OutputFormat::Json || m_options.format == OutputFormat::Jsonl;
    if (forMachines) {
        // One record a device at the end, when its check is known too.
    } else if (isSet) {
        connect(m_apply.get(), &PlanApply::rowResult, this, [this](int, const QString &result, bool) {
            const QByteArray line = result.toLocal8Bit() + '\n';
            Print(line);
        });
        connect(m_apply.get(), &PlanApply::rowVerified, this, [this](int, const QString &text, bool) {
            const QByteArray line = text.toLocal8Bit() + '\n';
            Print(line);
        });
    } else {
        connect(m_apply.get(), &PlanApply::rowResult, this, [this, rows](int row, const QString &result, bool) {
            Message(u"line %1, %2: %3"_s.arg(rows[row].line).arg(rows[row].mac, result));
        });
    }
    connect(m_apply.get(), &PlanApply::verifying, this, [this] { Message(u"searching again to check"_s); });
    connect(m_apply.get(), &PlanApply::finished, this, [this, rows, isSet, forMachines] {
        if (forMachines) {
            DeviceOutput output(m_options.format, m_out, {}, {});
            const auto &outcomes = m_apply->Outcomes();
            for (qsizetype i = 0; i < rows.size(); ++i)
                output.Add(OutcomeFields(rows[i], outcomes[i], m_options.dryRun));
            output.End();
        } else if (!isSet) {
            QByteArray text = CsvLine(QStringList{u"mac"_s, u"result"_s, u"verified"_s});
            const auto &outcomes = m_apply->Outcomes();
            for (qsizetype i = 0; i < rows.size(); ++i)
                text += CsvLine(QStringList{rows[i].mac, outcomes[i].result, outcomes[i].verified});
            Print(text);
        }
        Done(m_apply->AllSucceeded() ? kExitOk : kExitFailed);
    });
    PlanApply::Settings settings;
    settings.password = m_password;
    settings.defaultUser = m_options.user.value_or(QString());
    settings.verify = m_options.verify;
    settings.dryRun = m_options.dryRun;
    settings.force = m_options.force;
    settings.verifyWaitMs = m_options.waitMs;
    m_apply->Start(rows, found, settings);
}

void CorvaneCtl::RunApply()
{
    QFile file(m_options.planPath);
    if (!file.open(QIODevice::ReadOnly)) {
        Message(u"cannot read %1: %2"_s.arg(m_options.planPath, file.errorString()));
        m_exitCode = kExitUsage;
        return;
    }
    const AddressPlan plan = ReadAddressPlan(file.readAll());
    if (!plan.error.isEmpty()) {
        Message(u"%1: %2"_s.arg(m_options.planPath, plan.error));
        m_exitCode = kExitUsage;
        return;
    }
    // Nothing is sent in a dry run, so no password is needed for it.
    if ((!m_options.dryRun && !GetPassword()) || !OpenSearch(true))
        return;
    connect(m_round.get(), &SearchRound::finished, this, [this, rows = plan.rows] {
        QStringList names;
        for (const PlanRow &row : rows)
            names << row.mac;
        LearnOnvifMacs(names, [this, rows] { ApplyRows(rows); });
    });
    m_round->Start(m_chosen, m_options.waitMs);
}

void CorvaneCtl::RunVendorCommand()
{
    connect(m_round.get(), &SearchRound::finished, this,
            [this] { LearnOnvifMacs(m_options.macs, [this] { RunCommandOnFoundDevices(); }); });
    SearchRound::Families families{!m_chosen.isEmpty(), true, !m_chosen.isEmpty()};
    m_round->Start(m_chosen, m_options.waitMs, families);
}

void CorvaneCtl::RunCommandOnFoundDevices()
{
    disconnect(m_round.get(), nullptr, this, nullptr);
    const bool reboot = m_options.verb == Verb::Reboot;
    const VendorCommand command = reboot ? VendorCommand::Reboot : VendorCommand::FactoryReset;
    QStringList requested;
    for (const QString &mac : std::as_const(m_options.macs)) {
        const FoundDevice *device = m_round->Find(mac);
        VendorOutcome outcome{mac, {}, false};
        if (!device) {
            outcome.result = m_chosen.isEmpty() ? u"not found among vendor-family devices (give -a to search "
                                                  "own-family devices too)"_s
                                                : u"not found"_s;
        } else if (device->family == DeviceFamily::Onvif) {
            m_onvifCommands.append({mac, *device->onvif});
            continue;
        } else if (device->family == DeviceFamily::Own) {
            outcome.result = reboot ? u"refused: an own-family device; its protocol has no reboot command"_s
                                    : u"refused: an own-family device; its protocol has no factory reset command"_s;
        } else {
            CameraInfo record = device->record;
            if (m_options.user)
                SetFieldString(record.header.user_id, *m_options.user);
            // Sent whatever the login gave, as the window does; the device judges.
            const VendorCommandResult result = ::RunVendorCommand(*m_vendor, record, m_password, command);
            outcome.result = VendorCommandMessage(result, command);
            outcome.ok = VendorCommandDone(result);
            if (outcome.ok)
                requested << mac;
        }
        if (m_options.format == OutputFormat::Table)
            Print((mac + u": "_s + outcome.result).toLocal8Bit() + '\n');
        m_vendorOutcomes << outcome;
    }
    // The ONVIF devices' commands end before the vendor ones are reported.
    RunOnvifCommands([this, requested] {
        if (m_options.waitBackSeconds > 0 && !(requested.isEmpty() && m_onvifRequested.isEmpty())) {
            WaitUntilBack(requested, m_onvifRequested);
            return;
        }
        ReportVendorCommands();
    });
}

void CorvaneCtl::WaitUntilBack(const QStringList &vendorNames, const QStringList &onvifEndpoints)
{
    const QStringList names = vendorNames + onvifEndpoints;
    QStringList given = vendorNames;
    for (const QString &endpoint : onvifEndpoints)
        given << m_waitNames.value(endpoint, endpoint);
    Message(u"waiting up to %1 s for %2 to go silent and answer again"_s.arg(m_options.waitBackSeconds)
                .arg(given.join(u", "_s)));
    m_restart = std::make_unique<RestartWatch>(*m_search);
    if (m_options.format == OutputFormat::Table) {
        connect(m_restart.get(), &RestartWatch::deviceBack, this, [this](const QString &watched, qint64 ms) {
            const QString name = m_waitNames.value(watched, watched);
            Print(u"%1: back after %2 s\n"_s.arg(name, QString::number(double(ms) / 1000.0, 'f', 1)).toLocal8Bit());
        });
    }
    connect(m_restart.get(), &RestartWatch::finished, this, &CorvaneCtl::ReportVendorCommands);
    // Vendor-family and ONVIF devices restart on command; the vendor search needs no adapter, the
    // ONVIF devices are heard through the adapter they were found on.
    const bool onvif = !onvifEndpoints.isEmpty();
    m_restart->Start(names, onvif ? m_chosen : QList<const CNetworkAdapterObj *>(), m_options.waitMs,
                     SearchFamilies{false, !vendorNames.isEmpty(), onvif}, m_options.waitBackSeconds * 1000);
}

void CorvaneCtl::ReportVendorCommands()
{
    const bool waited = m_restart != nullptr;
    bool allOk = true;
    DeviceOutput output(m_options.format, m_out, {}, {});
    for (VendorOutcome &outcome : m_vendorOutcomes) {
        QJsonValue backAfter;
        QString kind = outcome.ok ? u"requested"_s : u"failed"_s;
        if (waited && outcome.ok) {
            const QString watched = m_waitNames.key(outcome.mac, outcome.mac);
            const std::optional<qint64> ms = m_restart->BackAfterMs(watched);
            if (ms) {
                backAfter = double(*ms);
                kind = u"back"_s;
            } else {
                kind = u"not_back"_s;
                outcome.ok = false;
                const QString why = m_restart->WentSilent(watched)
                                        ? u"%1: not back after %2 s"_s
                                        : u"%1: still answering after %2 s: it did not restart"_s;
                const QString text = why.arg(outcome.mac).arg(m_options.waitBackSeconds);
                if (m_options.format == OutputFormat::Table)
                    Print(text.toLocal8Bit() + '\n');
                else
                    Message(text);
            }
        }
        allOk = allOk && outcome.ok;
        if (m_options.format == OutputFormat::Json)
            output.Add({{"mac"_L1, outcome.mac},
                        {"outcome"_L1, kind},
                        {"ok"_L1, outcome.ok},
                        {"result"_L1, outcome.result},
                        {"back_after_ms"_L1, backAfter}});
    }
    if (m_options.format == OutputFormat::Json)
        output.End();
    Done(allOk ? kExitOk : kExitFailed);
}

void CorvaneCtl::RunWatch()
{
    connect(m_round.get(), &SearchRound::finished, this, [this] {
        QList<DeviceFieldList> found;
        for (const FoundDevice &device : m_round->Devices())
            found << FieldsOf(device);
        PrintWatchChanges(m_watch.Update(found));
        const qint64 rest = qint64(m_options.everySeconds) * 1000 - m_roundClock.elapsed();
        m_timer.start(static_cast<int>(std::max<qint64>(0, rest)));
    });
    connect(&m_timer, &QTimer::timeout, this, &CorvaneCtl::NextWatchRound);
    if (m_options.families.onvif)
        HearOnvifAnnouncements();
    NextWatchRound();
}

void CorvaneCtl::HearOnvifAnnouncements()
{
    // ONVIF devices say when they come (Hello) and leave (Bye): told at once, between rounds.
    for (const CNetworkAdapterObj *adapter : std::as_const(m_chosen)) {
        auto discovery = std::make_unique<OnvifDiscovery>(m_search->Services().onvifDiscovery);
        const auto announced = [this, adapter](const OnvifDevice &device) {
            const OnvifListing listing{device, std::nullopt, QString()};
            PrintWatchChanges(
                m_watch.Announced(FieldsOf(FoundDevice{OnvifRecord(listing), DeviceFamily::Onvif, adapter, listing})));
        };
        connect(discovery.get(), &OnvifDiscovery::deviceFound, this, announced);
        connect(discovery.get(), &OnvifDiscovery::deviceChanged, this, announced);
        connect(discovery.get(), &OnvifDiscovery::deviceLeft, this,
                [this](const QString &endpoint) { PrintWatchChanges(m_watch.Left(endpoint)); });
        if (!discovery->ListenForAnnouncements(*adapter)) {
            Message(u"ONVIF announcements cannot be heard on %1: its devices are watched by search alone"_s.arg(
                adapter->m_strName));
            continue;
        }
        m_announcements.push_back(std::move(discovery));
    }
}

void CorvaneCtl::PrintWatchChanges(const QList<DeviceChange> &changes)
{
    const QString time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    for (const DeviceChange &change : changes) {
        const QString kind = QString(ChangeKindName(change.kind));
        QByteArray line;
        if (m_options.format == OutputFormat::Jsonl) {
            DeviceFieldList event{{"time"_L1, time}, {"event"_L1, kind}};
            if (change.kind == DeviceChange::Kind::Changed)
                event.append({"changed"_L1, QJsonArray::fromStringList(change.changed)});
            event.append(change.device);
            line = JsonObjectLine(event) + '\n';
        } else {
            QString text = u"%1  %2  %3  %4"_s.arg(time, kind.leftJustified(7),
                                                   FieldText(FieldValue(change.device, "mac"_L1)),
                                                   FieldText(FieldValue(change.device, "ip"_L1)));
            for (const DeviceField &field : change.device) {
                if (field.name != "ip"_L1 && change.changed.contains(QString(field.name)))
                    text += u"  %1=%2"_s.arg(QString(field.name), FieldText(field.value));
            }
            line = ForTerminal(text).toUtf8() + '\n';
        }
        Print(line);
    }
}

void CorvaneCtl::NextWatchRound()
{
    m_roundClock.start();
    m_round->Start(m_chosen, m_options.waitMs, m_options.families);
}
