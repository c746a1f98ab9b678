#pragma once

#include "CNetworkAdapterObj.h"
#include "CameraInfo.h"
#include "DeviceFields.h"
#include "DeviceSearch.h"
#include "OnvifListing.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// One device as a search round found it, with the adapter whose turn it answered in.
struct FoundDevice
{
    CameraInfo record{};
    DeviceFamily family = DeviceFamily::Own;
    const CNetworkAdapterObj *adapter = nullptr;
    std::optional<OnvifListing> onvif; // an ONVIF device's own: record is made from it
};

// The device's fields, its family and ONVIF addresses among them.
DeviceFieldList DeviceFields(const FoundDevice &device);

// The device name names: its MAC text exactly, else ignoring letter case; else the ONVIF
// device whose MAC (in any usual form) or endpoint address it is. nullptr when none.
const FoundDevice *FindDevice(const QList<FoundDevice> &devices, const QString &name);

// Which families a search asks.
struct SearchFamilies
{
    bool own = true;
    bool vendor = true;
    bool onvif = true;
};

// One search of a given length over one or more adapters, on a DeviceSearch: the request
// goes out through each adapter in turn and each turn lasts waitMs, so an own-family device
// belongs to the adapter in whose turn it answered. The vendor library searches every
// interface at once; a vendor device belongs to the adapter whose network holds its address,
// else to the turn it came in. ONVIF probes go through each adapter in its turn too. An ONVIF
// device found before its own family's answer with the same MAC gives way to that answer, in
// its place. The round ends after the last turn and the vendor search.
class SearchRound final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchRound)

public:
    // The vendor library's search time and some slack.
    static constexpr int kVendorDeadlineMs = 5000;

    using Families = SearchFamilies;

    explicit SearchRound(DeviceSearch &search, QObject *parent = nullptr);

    // Forgets what an earlier round found and starts. The search's reply socket must be open.
    void Start(const QList<const CNetworkAdapterObj *> &adapters, int waitMs, Families families = SearchFamilies());
    bool IsRunning() const { return m_running; }
    const QList<FoundDevice> &Devices() const { return m_devices; }
    // FindDevice among the devices found.
    const FoundDevice *Find(const QString &mac) const;

    // Reads with login the settings of the ONVIF devices found whose MAC is not known yet (no
    // MacAddress scope), so that Find names them by MAC too, as a search with a login lists
    // them; then calls done with each read that failed ("10.77.1.42: Failed. login failed").
    // Only after the round has finished; a new Start drops what is still being read.
    using MacsLearned = std::function<void(const QStringList &failures)>;
    void LearnOnvifMacs(const OnvifLogin &login, MacsLearned done);

Q_SIGNALS:
    void deviceFound(const FoundDevice &device);
    void finished();

private:
    void OnDeviceFound(const CameraInfo &record, DeviceFamily family);
    void OnOnvifDeviceFound(const OnvifDevice &device);
    void Add(const FoundDevice &device);
    void NextTurn();
    void FinishIfDone();

    DeviceSearch &m_search;
    QList<const CNetworkAdapterObj *> m_adapters;
    Families m_families;
    int m_turn = -1;
    bool m_running = false;
    bool m_vendorRunning = false;
    quint64 m_started = 0; // which Start the devices are from, for reads still under way
    QList<FoundDevice> m_devices;
    QHash<quint64, qsizetype> m_onvifByMac; // ONVIF devices whose MAC is known, by index
    QTimer m_turnTimer;
    QTimer m_vendorDeadline; // a search without vendor window, or whose end went astray, still ends
};
