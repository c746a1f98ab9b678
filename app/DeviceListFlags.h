#pragma once

#include <QHash>
#include <QList>
#include <QRgb>
#include <QString>

#include <functional>
#include <vector>

class CReportCtrl;

// The device list's flags: an IP ADDRESS cell is coloured when its address is in use by more
// than one listed device, and its note (tooltip and accessible description) says why. Devices
// are numbered as the dialog keeps them (index in its device array); rows move when the list is
// sorted, and the colours, kept in each row's record, move with them.
//
// Kept as devices are added, so that one more device costs a hash look-up and at most two
// recoloured cells; notes are written only when one is shown.
class DeviceListFlags final
{
public:
    // Light tints of the Okabe-Ito palette, told apart without red and green; black text on
    // them. Under the selection a frame of the tint stays (CReportCtrl).
    static constexpr QRgb kInUseTwiceBk = 0xFFF4C2DD; // reddish purple
    static constexpr QRgb kFlagText = 0xFF000000;
    // Other devices named in a note; the rest are counted.
    static constexpr int kMacsNamed = 8;

    // deviceOfRow tells which device a row shows (rows move when the list is sorted).
    DeviceListFlags(CReportCtrl &list, std::function<int(int device)> deviceOfRow);

    void Clear();
    // Device number device, listed at row, with its MAC and IP texts.
    void Added(int device, int row, const QString &mac, const QString &ip);
    // The rows were reordered: rows of devices are looked up again when next needed.
    void RowsMoved() { m_rowOfDevice.clear(); }
    // The note of a device's cell; empty when it has none.
    QString Note(int device, int column) const;

private:
    struct Device
    {
        QString mac;
        QString ip; // empty when the address is no address (none, 0.0.0.0): never in use twice
    };

    void Recolour(int device);
    int RowOf(int device);

    CReportCtrl &m_list;
    std::function<int(int row)> m_deviceOfRow;
    std::vector<Device> m_devices;
    QHash<QString, QList<int>> m_devicesAt; // address -> devices, in order of listing
    std::vector<int> m_rowOfDevice;         // empty after a sort until needed
};
