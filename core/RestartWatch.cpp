#include "RestartWatch.h"

#include "DeviceFields.h"

#include <algorithm>

RestartWatch::RestartWatch(DeviceSearch &search, QObject *parent)
    : QObject(parent)
    , m_round(search)
{
    connect(&m_round, &SearchRound::deviceFound, this, &RestartWatch::OnFound);
    connect(&m_round, &SearchRound::finished, this, &RestartWatch::OnRoundEnd);
}

void RestartWatch::Start(const QStringList &macs, const QList<const CNetworkAdapterObj *> &adapters, int roundMs,
                         SearchFamilies families, int limitMs)
{
    m_states.clear();
    for (const QString &mac : macs)
        m_states.insert(mac.toUpper(), State{});
    m_adapters = adapters;
    m_roundMs = roundMs;
    m_families = families;
    m_limitMs = limitMs;
    m_running = true;
    m_clock.start();
    m_round.Start(m_adapters, m_roundMs, m_families);
}

std::optional<qint64> RestartWatch::BackAfterMs(const QString &mac) const
{
    return m_states.value(mac.toUpper()).backMs;
}

bool RestartWatch::WentSilent(const QString &mac) const
{
    return m_states.value(mac.toUpper()).silent;
}

void RestartWatch::OnFound(const FoundDevice &device)
{
    const auto state = m_states.find(DeviceText(device.record.mac_addr).toUpper());
    if (state == m_states.end() || !state->silent || state->backMs)
        return;
    state->backMs = m_clock.elapsed();
    Q_EMIT deviceBack(state.key(), *state->backMs);
}

void RestartWatch::OnRoundEnd()
{
    if (!m_running)
        return;
    for (auto state = m_states.begin(); state != m_states.end(); ++state) {
        if (!state->silent && !m_round.Find(state.key()))
            state->silent = true;
    }
    // Rounds run back to back; the one under way when the time is up still counts.
    if (AllBack() || m_clock.elapsed() >= m_limitMs) {
        m_running = false;
        Q_EMIT finished();
        return;
    }
    m_round.Start(m_adapters, m_roundMs, m_families);
}

bool RestartWatch::AllBack() const
{
    return std::all_of(m_states.cbegin(), m_states.cend(), [](const State &state) { return state.backMs.has_value(); });
}
