// corvanectl's ONVIF paths: settings read during a search, reboot and factory reset.

#include "CorvaneCtl.h"

#include "DeviceOutput.h"
#include "DeviceSearch.h"

using namespace Qt::Literals::StringLiterals;

bool CorvaneCtl::GetOnvifLogin()
{
    if (!m_options.user || !m_options.families.onvif)
        return true;
    if (!GetPassword())
        return false;
    m_onvifLogin = OnvifLogin{*m_options.user, m_password};
    return true;
}

void CorvaneCtl::ReadOnvifThenList(FoundDevice device)
{
    ++m_onvifReadsRunning;
    m_search->Onvif().ReadSettings(device.onvif->device, *m_onvifLogin,
                                   [this, device](OnvifResult result, const OnvifSettings &settings) mutable {
                                       --m_onvifReadsRunning;
                                       OnvifListing &listing = *device.onvif;
                                       if (result == OnvifResult::Ok) {
                                           listing.settings = settings;
                                       } else {
                                           listing.readError = OnvifCallText(listing.device, result);
                                           m_onvifReadFailed = true;
                                       }
                                       // Its MAC may show it is a device already listed under its own family.
                                       if (!(result == OnvifResult::Ok && m_search->IsFamilyDeviceMac(settings.mac))) {
                                           device.record = OnvifRecord(listing);
                                           if (m_output)
                                               m_output->Add(FieldsOf(device));
                                       }
                                       EndSearchIfDone();
                                   });
}

void CorvaneCtl::LearnOnvifMacs(const QStringList &names, const std::function<void()> &then)
{
    const auto unfound = [this, names] {
        QStringList left;
        for (const QString &name : names) {
            if (!m_round->Find(name) && MacNumber(QStringView(name)))
                left << name;
        }
        return left;
    };
    // A dry run sends nothing, so it has no password to read with.
    if (!m_options.user || m_options.dryRun || unfound().isEmpty()) {
        then();
        return;
    }
    Message(u"reading the MACs of the ONVIF devices that announce none"_s);
    m_round->LearnOnvifMacs(OnvifLogin{*m_options.user, m_password},
                            [this, then, unfound](const QStringList &failures) {
                                if (!unfound().isEmpty()) {
                                    for (const QString &failure : failures)
                                        Message(u"%1 (its MAC is unknown)"_s.arg(failure));
                                }
                                then();
                            });
}

void CorvaneCtl::EndSearchIfDone()
{
    if (!m_searchEnded || m_onvifReadsRunning > 0 || !m_output)
        return;
    m_output->End();
    m_output.reset();
    Done(m_onvifReadFailed ? kExitFailed : kExitOk);
}

void CorvaneCtl::RunOnvifCommands(const std::function<void()> &then)
{
    if (m_onvifCommands.isEmpty()) {
        then();
        return;
    }
    const auto command = m_onvifCommands.takeFirst();
    const QString &name = command.first;
    const OnvifListing &listing = command.second;
    const bool reboot = m_options.verb == Verb::Reboot;
    const auto report = [this, name, endpoint = listing.device.endpoint, then](OnvifResult result, const QString &why) {
        const VendorOutcome outcome{name, why.isEmpty() ? OnvifResultText(result) : why, result == OnvifResult::Ok};
        if (m_options.format == OutputFormat::Table)
            Print((outcome.mac + u": "_s + outcome.result).toLocal8Bit() + '\n');
        m_vendorOutcomes << outcome;
        if (outcome.ok) {
            // It restarts: --wait-back waits for it too, by its endpoint, which its Hello carries
            // and its MAC, known only after a login, may not.
            m_onvifRequested << endpoint;
            m_waitNames.insert(endpoint, name);
        }
        RunOnvifCommands(then);
    };
    if (const QString withheld = CredentialsWithheldReason(listing.device); !withheld.isEmpty()) {
        report(OnvifResult::Failed, withheld);
        return;
    }
    const OnvifLogin login{m_options.user.value_or(QString()), m_password};
    const auto done = [report](OnvifResult result) { report(result, {}); };
    if (reboot)
        m_search->Onvif().Reboot(listing.device, login, done);
    else
        m_search->Onvif().FactoryReset(listing.device, login, m_options.hard, done);
}
