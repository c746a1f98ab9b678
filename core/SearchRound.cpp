#include "SearchRound.h"

#include "AdapterNetwork.h"
#include "DeviceFields.h"
#include "RecordText.h"

#include <QPointer>

#include <memory>

SearchRound::SearchRound(DeviceSearch &search, QObject *parent)
    : QObject(parent)
    , m_search(search)
{
    m_turnTimer.setSingleShot(true);
    connect(&m_turnTimer, &QTimer::timeout, this, &SearchRound::NextTurn);
    connect(&m_search, &DeviceSearch::deviceFound, this, &SearchRound::OnDeviceFound);
    connect(&m_search, &DeviceSearch::onvifDeviceFound, this, &SearchRound::OnOnvifDeviceFound);
    m_vendorDeadline.setSingleShot(true);
    m_vendorDeadline.setInterval(kVendorDeadlineMs);
    const auto vendorEnded = [this] {
        m_vendorDeadline.stop();
        m_vendorRunning = false;
        FinishIfDone();
    };
    connect(&m_search, &DeviceSearch::vendorDone, this, vendorEnded);
    connect(&m_vendorDeadline, &QTimer::timeout, this, vendorEnded);
}

void SearchRound::Start(const QList<const CNetworkAdapterObj *> &adapters, int waitMs, Families families)
{
    m_adapters = adapters;
    m_families = families;
    ++m_started;
    m_devices.clear();
    m_onvifByMac.clear();
    m_search.Clear();
    m_running = true;
    m_turn = -1;
    m_turnTimer.setInterval(waitMs);
    m_vendorRunning = families.vendor;
    if (families.vendor) {
        m_vendorDeadline.start();
        m_search.StartVendorSearch();
    }
    NextTurn();
}

void SearchRound::NextTurn()
{
    ++m_turn;
    if (m_turn < m_adapters.size()) {
        if (m_families.own)
            m_search.SendRequest(m_adapters[m_turn]);
        if (m_families.onvif)
            m_search.StartOnvifSearch(m_adapters[m_turn]);
        m_turnTimer.start();
    }
    FinishIfDone();
}

void SearchRound::FinishIfDone()
{
    if (!m_running || m_turn < m_adapters.size() || m_vendorRunning)
        return;
    m_running = false;
    Q_EMIT finished();
}

void SearchRound::OnDeviceFound(const CameraInfo &record, DeviceFamily family)
{
    if (!m_running || (family == DeviceFamily::Own ? !m_families.own : !m_families.vendor))
        return;
    FoundDevice device{record, family, m_adapters.value(std::min<qsizetype>(m_turn, m_adapters.size() - 1)), {}};
    if (family == DeviceFamily::Vendor) {
        const QString ip = DeviceText(record.ip_addr);
        for (const CNetworkAdapterObj *adapter : std::as_const(m_adapters)) {
            if (adapter && IsInAdapterNetwork(*adapter, ip)) {
                device.adapter = adapter;
                break;
            }
        }
    }
    Add(device);
}

void SearchRound::OnOnvifDeviceFound(const OnvifDevice &onvif)
{
    if (!m_running || !m_families.onvif)
        return;
    FoundDevice device{{},
                       DeviceFamily::Onvif,
                       m_adapters.value(std::min<qsizetype>(m_turn, m_adapters.size() - 1)),
                       OnvifListing{onvif, {}, {}}};
    device.record = OnvifRecord(*device.onvif);
    Add(device);
}

void SearchRound::Add(const FoundDevice &device)
{
    if (device.onvif) {
        if (const std::optional<quint64> mac = MacNumber(OnvifMac(*device.onvif)))
            m_onvifByMac.insert(*mac, m_devices.size());
    } else if (!m_onvifByMac.isEmpty()) {
        const std::optional<quint64> mac = MacNumber(ReadText(device.record.mac_addr));
        if (const auto it = mac ? m_onvifByMac.constFind(*mac) : m_onvifByMac.cend(); it != m_onvifByMac.cend()) {
            m_devices[*it] = device;
            m_onvifByMac.erase(it);
            Q_EMIT deviceFound(device);
            return;
        }
    }
    m_devices.append(device);
    Q_EMIT deviceFound(device);
}

void SearchRound::LearnOnvifMacs(const OnvifLogin &login, MacsLearned done)
{
    QList<qsizetype> unknown;
    for (qsizetype i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].onvif && OnvifMac(*m_devices[i].onvif).isEmpty())
            unknown << i;
    }
    if (unknown.isEmpty()) {
        done({});
        return;
    }
    struct Pending
    {
        qsizetype left;
        QStringList failures;
        MacsLearned done;
    };
    auto pending = std::make_shared<Pending>(Pending{unknown.size(), {}, std::move(done)});
    const QPointer<SearchRound> self(this);
    const quint64 started = m_started;
    for (const qsizetype i : std::as_const(unknown)) {
        const OnvifDevice &device = m_devices[i].onvif->device;
        m_search.Onvif().ReadSettings(device, login,
                                      [self, started, i, pending,
                                       ip = DeviceText(m_devices[i].record.ip_addr)](OnvifResult result,
                                                                                     const OnvifSettings &settings) {
                                          if (!self || self->m_started != started)
                                              return;
                                          FoundDevice &found = self->m_devices[i];
                                          if (result == OnvifResult::Ok) {
                                              found.onvif->settings = settings;
                                              found.record = OnvifRecord(*found.onvif);
                                          } else {
                                              pending->failures << ip + QStringLiteral(": ")
                                                                       + OnvifCallText(found.onvif->device, result);
                                          }
                                          if (--pending->left == 0)
                                              pending->done(pending->failures);
                                      });
    }
}

DeviceFieldList DeviceFields(const FoundDevice &device)
{
    return DeviceFields(device.record, device.family, device.onvif ? &*device.onvif : nullptr);
}

const FoundDevice *SearchRound::Find(const QString &mac) const
{
    return FindDevice(m_devices, mac);
}

const FoundDevice *FindDevice(const QList<FoundDevice> &devices, const QString &name)
{
    // An ONVIF record's MAC text is what the device showed; it is matched below, in any form.
    const FoundDevice *loose = nullptr;
    for (const FoundDevice &device : devices) {
        if (device.onvif)
            continue;
        const QString text = DeviceText(device.record.mac_addr);
        if (text == name)
            return &device;
        if (!loose && text.compare(name, Qt::CaseInsensitive) == 0)
            loose = &device;
    }
    if (loose)
        return loose;
    for (const FoundDevice &device : devices) {
        if (device.onvif && NamesOnvifDevice(*device.onvif, name))
            return &device;
    }
    return nullptr;
}
