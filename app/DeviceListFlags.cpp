#include "DeviceListFlags.h"

#include "CCorvaneDlg.h"
#include "CReportCtrl.h"

#include <QStringList>

DeviceListFlags::DeviceListFlags(CReportCtrl &list, std::function<int(int row)> deviceOfRow)
    : m_list(list)
    , m_deviceOfRow(std::move(deviceOfRow))
{
}

void DeviceListFlags::Clear()
{
    m_devices.clear();
    m_devicesAt.clear();
    m_rowOfDevice.clear();
}

void DeviceListFlags::Added(int device, int row, const QString &mac, const QString &ip)
{
    if (device != static_cast<int>(m_devices.size()))
        return; // devices are only ever appended
    const bool address = !ip.isEmpty() && ip != QLatin1String("0.0.0.0");
    m_devices.push_back(Device{mac, address ? ip : QString()});
    if (m_rowOfDevice.size() + 1 == m_devices.size())
        m_rowOfDevice.push_back(row);
    else
        m_rowOfDevice.clear();
    if (!address)
        return;

    QList<int> &sharing = m_devicesAt[ip];
    sharing.append(device);
    if (sharing.size() == 2)
        Recolour(sharing.first()); // the first now shares its address too
    if (sharing.size() >= 2)
        Recolour(device);
}

void DeviceListFlags::Recolour(int device)
{
    const int row = RowOf(device);
    if (row >= 0)
        m_list.SetItemColors(row, CCorvaneDlg::kIpColumn, kFlagText, kInUseTwiceBk);
}

int DeviceListFlags::RowOf(int device)
{
    if (m_rowOfDevice.size() != m_devices.size()) {
        m_rowOfDevice.assign(m_devices.size(), -1);
        for (int row = 0; row < m_list.GetItemCount(); ++row) {
            const int shown = m_deviceOfRow(row);
            if (shown >= 0 && shown < static_cast<int>(m_rowOfDevice.size()))
                m_rowOfDevice[static_cast<std::size_t>(shown)] = row;
        }
    }
    return device >= 0 && device < static_cast<int>(m_rowOfDevice.size()) ? m_rowOfDevice[static_cast<std::size_t>(device)]
                                                                          : -1;
}

QString DeviceListFlags::Note(int device, int column) const
{
    if (column != CCorvaneDlg::kIpColumn || device < 0 || device >= static_cast<int>(m_devices.size()))
        return {};
    const Device &self = m_devices[static_cast<std::size_t>(device)];
    if (self.ip.isEmpty())
        return {};
    const QList<int> sharing = m_devicesAt.value(self.ip);
    if (sharing.size() < 2)
        return {};
    QStringList others;
    for (int other : sharing) {
        if (other == device)
            continue;
        if (others.size() == kMacsNamed) {
            others << QStringLiteral("%1 more").arg(sharing.size() - 1 - kMacsNamed);
            break;
        }
        others << m_devices[static_cast<std::size_t>(other)].mac;
    }
    const QString last = others.takeLast();
    const QString named = others.isEmpty() ? last : others.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("Address in use twice: %1 is also used by %2").arg(self.ip, named);
}
