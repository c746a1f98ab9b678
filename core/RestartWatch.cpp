#include "RestartWatch.h"

#include <algorithm>

RestartWatch::RestartWatch(DeviceSearch &search, QObject *parent)
    : QObject(parent)
    , m_search(search)
    , m_round(search)
{
    connect(&m_round, &SearchRound::deviceFound, this, &RestartWatch::OnFound);
    connect(&m_round, &SearchRound::finished, this, &RestartWatch::OnRoundEnd);
}

void RestartWatch::Start(const QStringList &names, const QList<const CNetworkAdapterObj *> &adapters, int roundMs,
                         SearchFamilies families, int limitMs)
{
    m_states.clear();
    for (const QString &name : names)
        m_states.append(State{name, false, std::nullopt});
    m_adapters = adapters;
    m_roundMs = roundMs;
    m_families = families;
    m_limitMs = limitMs;
    m_running = true;
    m_clock.start();
    m_announcements.clear();
    if (families.onvif) {
        // Best effort: where the port cannot be had, the rounds alone tell.
        for (const CNetworkAdapterObj *adapter : adapters) {
            auto discovery = std::make_unique<OnvifDiscovery>(m_search.Services().onvifDiscovery);
            connect(discovery.get(), &OnvifDiscovery::deviceFound, this, &RestartWatch::OnAnnounced);
            connect(discovery.get(), &OnvifDiscovery::deviceChanged, this, &RestartWatch::OnAnnounced);
            connect(discovery.get(), &OnvifDiscovery::deviceLeft, this, &RestartWatch::OnLeft);
            if (discovery->ListenForAnnouncements(*adapter))
                m_announcements.push_back(std::move(discovery));
        }
    }
    m_round.Start(m_adapters, m_roundMs, m_families);
}

const RestartWatch::State *RestartWatch::StateOf(const QString &name) const
{
    for (const State &state : m_states) {
        if (state.name.compare(name, Qt::CaseInsensitive) == 0)
            return &state;
    }
    return nullptr;
}

std::optional<qint64> RestartWatch::BackAfterMs(const QString &name) const
{
    const State *state = StateOf(name);
    return state ? state->backMs : std::nullopt;
}

bool RestartWatch::WentSilent(const QString &name) const
{
    const State *state = StateOf(name);
    return state && state->silent;
}

void RestartWatch::OnFound(const FoundDevice &device)
{
    const QList<FoundDevice> found{device};
    for (State &state : m_states) {
        if (state.silent && !state.backMs && FindDevice(found, state.name))
            Back(state);
    }
}

void RestartWatch::OnAnnounced(const OnvifDevice &device)
{
    const QList<FoundDevice> found{FoundDevice{{}, DeviceFamily::Onvif, nullptr, OnvifListing{device, {}, {}}}};
    for (State &state : m_states) {
        if (!state.backMs && FindDevice(found, state.name)) {
            state.silent = true;
            Back(state);
        }
    }
}

void RestartWatch::OnLeft(const QString &endpoint)
{
    OnvifDevice device;
    device.endpoint = endpoint;
    const OnvifListing listing{device, {}, {}};
    for (State &state : m_states) {
        if (NamesOnvifDevice(listing, state.name))
            state.silent = true;
    }
}

void RestartWatch::Back(State &state)
{
    state.backMs = m_clock.elapsed();
    Q_EMIT deviceBack(state.name, *state.backMs);
}

void RestartWatch::OnRoundEnd()
{
    if (!m_running)
        return;
    for (State &state : m_states) {
        if (!state.silent && !m_round.Find(state.name))
            state.silent = true;
    }
    // Rounds run back to back; the one under way when the time is up still counts.
    if (AllBack() || m_clock.elapsed() >= m_limitMs) {
        m_running = false;
        m_announcements.clear();
        Q_EMIT finished();
        return;
    }
    m_round.Start(m_adapters, m_roundMs, m_families);
}

bool RestartWatch::AllBack() const
{
    return std::all_of(m_states.cbegin(), m_states.cend(), [](const State &state) { return state.backMs.has_value(); });
}
