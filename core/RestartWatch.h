#pragma once

#include "OnvifDiscovery.h"
#include "SearchRound.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// Waits for devices told to restart: each must first miss a whole search round (it has gone
// silent), then answer again. Searches round after round until every device is back or the
// time is up, so a script learns when a rebooted device can be used again. An ONVIF device
// that says Hello meanwhile is back at once, however short its silence was: it says so only
// when it comes up. A device is named as FindDevice takes it: by MAC, or an ONVIF device by
// its endpoint address.
class RestartWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RestartWatch)

public:
    // search must have its reply socket open when families.own is set.
    explicit RestartWatch(DeviceSearch &search, QObject *parent = nullptr);

    // The clock starts here: call it right after the last command went out.
    void Start(const QStringList &names, const QList<const CNetworkAdapterObj *> &adapters, int roundMs,
               SearchFamilies families, int limitMs);

    // How long after Start the device answered again; nothing when it did not in time.
    std::optional<qint64> BackAfterMs(const QString &name) const;
    // It was seen silent at least once (a device that never was did not restart).
    bool WentSilent(const QString &name) const;

Q_SIGNALS:
    // name as Start had it.
    void deviceBack(const QString &name, qint64 ms);
    void finished();

private:
    struct State
    {
        QString name;
        bool silent = false;
        std::optional<qint64> backMs;
    };
    const State *StateOf(const QString &name) const;

    void OnFound(const FoundDevice &device);
    void OnAnnounced(const OnvifDevice &device);
    void OnLeft(const QString &endpoint);
    void Back(State &state);
    void OnRoundEnd();
    bool AllBack() const;

    DeviceSearch &m_search;
    SearchRound m_round;
    std::vector<std::unique_ptr<OnvifDiscovery>> m_announcements; // Hello and Bye, one an adapter
    QList<const CNetworkAdapterObj *> m_adapters;
    SearchFamilies m_families;
    int m_roundMs = 3000;
    int m_limitMs = 0;
    QList<State> m_states;
    QElapsedTimer m_clock;
    bool m_running = false;
};
