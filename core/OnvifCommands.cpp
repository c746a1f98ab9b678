#include "OnvifCommands.h"

#include "AddressText.h"
#include "OnvifServiceAddress.h"
#include "PlanApply.h"

QString CredentialsWithheldReason(const OnvifDevice &device)
{
    if (device.credentialsSafe)
        return {};
    return QStringLiteral("no login sent: the device names %1 as its service, which did not answer and is not on "
                          "the adapter's network")
        .arg(device.serviceAddress.host());
}

QString OnvifCallText(const OnvifDevice &device, OnvifResult result)
{
    const QString withheld = result == OnvifResult::Ok ? QString() : CredentialsWithheldReason(device);
    return withheld.isEmpty() ? OnvifResultText(result) : withheld;
}

OnvifCommands::OnvifCommands(OnvifClientOptions options, QObject *parent)
    : QObject(parent)
    , m_client(std::make_unique<OnvifClient>(options))
{
}

OnvifCommands::~OnvifCommands()
{
    Abandon();
}

void OnvifCommands::Abandon()
{
    *m_live = false;
    m_reads.clear();
    m_client.reset();
}

template<typename F>
F OnvifCommands::Guarded(F done)
{
    return [live = m_live, done = std::move(done)](auto &&...args) {
        if (*live)
            done(std::forward<decltype(args)>(args)...);
    };
}

void OnvifCommands::ReadSettings(const OnvifDevice &device, const OnvifLogin &login, SettingsDone done)
{
    if (!m_client)
        return;
    if (!device.credentialsSafe) {
        done(OnvifResult::Failed, {});
        return;
    }
    m_reads.enqueue({device, login, std::move(done)});
    StartReads();
}

void OnvifCommands::StartReads()
{
    while (m_client && m_readsRunning < kParallelReads && !m_reads.isEmpty()) {
        Read read = m_reads.dequeue();
        ++m_readsRunning;
        m_client->ReadSettings(read.device, read.login,
                               Guarded<SettingsDone>(
                                   [this, done = std::move(read.done)](OnvifResult result,
                                                                       const OnvifSettings &settings) {
                                       --m_readsRunning;
                                       done(result, settings);
                                       StartReads();
                                   }));
    }
}

void OnvifCommands::Save(const OnvifDevice &device, const OnvifLogin &login, const NetworkEdits &edits, bool fieldsRead,
                         SaveDone done)
{
    ReadSettings(
        device, login, [this, device, login, edits, fieldsRead, done](OnvifResult read, const OnvifSettings &current) {
            if (read != OnvifResult::Ok) {
                done(read, {}, {});
                return;
            }
            OnvifSettings wanted = WantedOnvifSettings(current, edits, fieldsRead);
            const QUrl service = ServiceAddressAfterWebPort(device.serviceAddress, current.webPort, wanted.webPort);
            if (service != device.serviceAddress)
                wanted.servicePort = service.port(kHttpPort);
            if (!wanted.dhcp && (!IsDottedQuadText(wanted.ip) || wanted.prefixLength < 0 || wanted.prefixLength > 32)) {
                done(OnvifResult::InvalidAddress, current, wanted);
                return;
            }
            // Any change may make a device restart its network: none is better than an empty one.
            if (ChangedSettings(OnvifSettingsRecord(current), OnvifSettingsRecord(wanted)).isEmpty()) {
                done(OnvifResult::Ok, current, wanted);
                return;
            }
            if (!m_client)
                return;
            m_client->ApplySettings(device, login, current, wanted,
                                    Guarded<Done>([done, current, wanted](OnvifResult result) {
                                        done(result, current, wanted);
                                    }));
        });
}

void OnvifCommands::Reboot(const OnvifDevice &device, const OnvifLogin &login, Done done)
{
    if (!m_client)
        return;
    if (!device.credentialsSafe) {
        done(OnvifResult::Failed);
        return;
    }
    m_client->Reboot(device, login, Guarded(std::move(done)));
}

void OnvifCommands::FactoryReset(const OnvifDevice &device, const OnvifLogin &login, bool hard, Done done)
{
    if (!m_client)
        return;
    if (!device.credentialsSafe) {
        done(OnvifResult::Failed);
        return;
    }
    m_client->FactoryDefault(device, login, hard, Guarded(std::move(done)));
}
