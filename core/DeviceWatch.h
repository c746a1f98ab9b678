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
    // A device announced itself between searches (an ONVIF Hello): found when it is new,
    // changed when its fields differ, nothing otherwise.
    QList<DeviceChange> Announced(const DeviceFieldList &device);
    // A device said it leaves (an ONVIF Bye, named by its endpoint in either uuid form): gone at
    // once when it was known.
    QList<DeviceChange> Left(const QString &endpoint);

private:
    struct Known
    {
        DeviceFieldList fields;
        int misses = 0;
        quint64 order = 0;
    };
    // The change that seeing device now makes, if any.
    void Seen(const QString &key, const DeviceFieldList &device, QList<DeviceChange> &changes);

    QHash<QString, Known> m_known;
    quint64 m_nextOrder = 0;
};
