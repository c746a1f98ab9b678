#include "DeviceWatch.h"

#include "WsDiscoveryMessages.h"

#include <QSet>

#include <algorithm>

namespace {
// An ONVIF device is known by its endpoint: its MAC may be unknown until a login.
QString macOf(const DeviceFieldList &fields)
{
    const QString endpoint = FieldText(FieldValue(fields, QLatin1StringView("endpoint")));
    return endpoint.isEmpty() ? FieldText(FieldValue(fields, QLatin1StringView("mac"))) : endpoint;
}

QStringList changedFields(const DeviceFieldList &before, const DeviceFieldList &now)
{
    QStringList names;
    for (const DeviceField &field : now) {
        if (FieldValue(before, field.name) != field.value)
            names << QString(field.name);
    }
    return names;
}
} // namespace

QLatin1StringView ChangeKindName(DeviceChange::Kind kind)
{
    switch (kind) {
    case DeviceChange::Kind::Found: return QLatin1StringView("found");
    case DeviceChange::Kind::Changed: return QLatin1StringView("changed");
    case DeviceChange::Kind::Gone: return QLatin1StringView("gone");
    }
    return {};
}

QList<DeviceChange> DeviceWatch::Update(const QList<DeviceFieldList> &found)
{
    QList<DeviceChange> changes;
    QSet<QString> seen;
    for (const DeviceFieldList &device : found) {
        const QString mac = macOf(device);
        if (seen.contains(mac))
            continue;
        seen.insert(mac);
        Seen(mac, device, changes);
    }

    QList<std::pair<quint64, QString>> gone;
    for (auto it = m_known.begin(); it != m_known.end(); ++it) {
        if (!seen.contains(it.key()) && ++it->misses >= kMissesForGone)
            gone.append({it->order, it.key()});
    }
    std::sort(gone.begin(), gone.end());
    for (const auto &[order, mac] : std::as_const(gone)) {
        changes.append({DeviceChange::Kind::Gone, m_known.value(mac).fields, {}});
        m_known.remove(mac);
    }
    return changes;
}

void DeviceWatch::Seen(const QString &key, const DeviceFieldList &device, QList<DeviceChange> &changes)
{
    auto it = m_known.find(key);
    if (it == m_known.end()) {
        m_known.insert(key, Known{device, 0, m_nextOrder++});
        changes.append({DeviceChange::Kind::Found, device, {}});
        return;
    }
    const QStringList changed = changedFields(it->fields, device);
    if (!changed.isEmpty())
        changes.append({DeviceChange::Kind::Changed, device, changed});
    it->fields = device;
    it->misses = 0;
}

QList<DeviceChange> DeviceWatch::Announced(const DeviceFieldList &device)
{
    QList<DeviceChange> changes;
    Seen(macOf(device), device, changes);
    return changes;
}

QList<DeviceChange> DeviceWatch::Left(const QString &endpoint)
{
    const QString id = NormalisedWsId(endpoint);
    for (auto it = m_known.begin(); !id.isEmpty() && it != m_known.end(); ++it) {
        if (NormalisedWsId(it.key()) == id
            && !FieldText(FieldValue(it->fields, QLatin1StringView("endpoint"))).isEmpty()) {
            const DeviceChange gone{DeviceChange::Kind::Gone, it->fields, {}};
            m_known.erase(it);
            return {gone};
        }
    }
    return {};
}
