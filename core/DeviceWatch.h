#pragma once

#include "DeviceFields.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What a repeated search tells: a device new to the list, a listed device whose fields
// changed, or a listed device that two searches in a row did not find (one missed answer
// is normal on a busy network).
struct DeviceChange
{
    enum class Kind { Found, Changed, Gone };
    Kind kind = Kind::Found;
    DeviceFieldList device; // as the search found it; as last seen for Gone
    QStringList changed;    // Changed: the names of the fields that differ, in field order
};

QLatin1StringView ChangeKindName(DeviceChange::Kind kind); // "found", "changed", "gone"

// Compares each search with what the ones before it found. Devices are told apart by their
// endpoint field (ONVIF), else their mac field.
class DeviceWatch final
{
public:
    static constexpr int kMissesForGone = 2;

    // The changes that this search's devices show, in the search's order, then the devices
    // gone, in the order they were first found.
    QList<DeviceChange> Update(const QList<DeviceFieldList> &found);

private:
    struct Known
    {
        DeviceFieldList fields;
        int misses = 0;
        quint64 order = 0;
    };
    QHash<QString, Known> m_known;
    quint64 m_nextOrder = 0;
};
