#pragma once

#include "CNetworkAdapterObj.h"

#include <QHash>
#include <QList>
#include <QRgb>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class CReportCtrl;

// The device list's flags on IP ADDRESS cells: a device outside the chosen adapter's network (or
// with no usable address), and a device whose address another listed device also has. A flagged
// cell is coloured and has a note (tooltip and accessible description) saying why and what to
// do. Devices are numbered as the dialog keeps them (index in its device array); rows move when
// the list is sorted, and the colours, kept in each row's record, move with them.
//
// Kept as devices are added, so that one more device costs a hash look-up and at most two
// recoloured cells; notes are written only when one is shown.
class DeviceListFlags final
{
public:
    // Light tints of the Okabe-Ito palette, told apart without red and green; black text on
    // both. Under the selection a frame of the tint stays (CReportCtrl). A cell with both flags
    // takes the first colour and both notes.
    static constexpr QRgb kOutsideBk = 0xFFF3E98C;    // yellow
    static constexpr QRgb kInUseTwiceBk = 0xFFF4C2DD; // reddish purple
    static constexpr QRgb kFlagText = 0xFF000000;
    // Other devices named in a note; the rest are counted.
    static constexpr int kMacsNamed = 8;

    // deviceOfRow tells which device a row shows (rows move when the list is sorted), macOf a
    // device's MAC text, as its row shows it.
    DeviceListFlags(CReportCtrl &list, std::function<int(int row)> deviceOfRow,
                    std::function<QString(int device)> macOf);

    void Clear();
    // Device number device, listed at row, with its MAC, IP and mask texts.
    void Added(int device, int row, const QString &mac, const QString &ip, const QString &mask);
    // A listed device's IP or mask text changed.
    void Changed(int device, const QString &ip, const QString &mask);
    // A device left the list: the devices after it are numbered one less from now on.
    void Removed(int device);
    // The adapter devices are judged by; none, or one whose network is not known: no device
    // is outside.
    void SetAdapter(const CNetworkAdapterObj *adapter);
    // The rows were reordered: rows of devices are looked up again when next needed.
    void RowsMoved() { m_rowOfDevice.clear(); }
    // The note of a device's cell; empty when it has none.
    QString Note(int device, int column) const;

private:
    // Kept small: one per listed device. The MAC text is the window's, the IP text is shared
    // with its key in m_devicesAt.
    struct Device
    {
        QString ip;          // empty when it is no usable address: never in use twice
        quint32 address = 0; // ip, read once
        int ownPrefix = -1;  // of the device's own mask; -1 when that is no mask
        bool outside = false;
        int nextAtAddress = -1; // the next device listed with the same address
    };

    // The devices at one address, in order of listing, chained through nextAtAddress.
    struct AddressUsers
    {
        int first = -1;
        int last = -1;
        int count = 0;
    };

    // The device as its texts make it, in no chain yet.
    Device Judged(const QString &ip, const QString &mask);
    // Into or out of the chain of devices at its address, which stays in order of listing;
    // a device left alone there, or no longer alone, is recoloured.
    void Link(int device);
    void Unlink(int device);
    int PrefixOfMask(const QString &mask);
    bool IsOutside(const Device &device) const;
    bool InUseTwice(const Device &device) const;
    void Recolour(int device);
    int RowOf(int device);

    CReportCtrl &m_list;
    std::function<int(int row)> m_deviceOfRow;
    std::function<QString(int device)> m_macOf;
    // The adapter's name, address and network, copied: the window may list its adapters again.
    QString m_strAdapterName;
    std::optional<quint32> m_adapterAddress;
    QString m_strNetwork; // "10.77.1.0/24"; empty when not known
    std::pair<std::optional<quint32>, int> m_network;
    QHash<QString, int> m_prefixOfMask; // devices mostly share a few masks
    std::vector<Device> m_devices;
    QHash<QString, AddressUsers> m_devicesAt;
    std::vector<int> m_rowOfDevice; // empty after a sort until needed
};
