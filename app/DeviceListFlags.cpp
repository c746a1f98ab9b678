#include "DeviceListFlags.h"

#include "CCorvaneDlg.h"
#include "CReportCtrl.h"

#include <QHostAddress>
#include <QStringList>

namespace {
// Four decimal numbers 0 to 255 and nothing else: what a device's address field must hold.
std::optional<quint32> dottedQuad(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    quint32 value = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint byte = part.toUInt(&ok, 10);
        if (!ok || part.isEmpty() || part.size() > 3 || byte > 255 || !part.front().isDigit())
            return std::nullopt;
        value = value << 8 | byte;
    }
    return value;
}

std::optional<quint32> netmask(const QString &text)
{
    const std::optional<quint32> mask = dottedQuad(text);
    if (!mask || (~*mask & (~*mask + 1)) != 0) // ones, then zeros
        return std::nullopt;
    return mask;
}

quint32 maskOfPrefix(int prefixLength)
{
    return prefixLength <= 0 ? 0 : ~quint32(0) << (32 - std::min(prefixLength, 32));
}
} // namespace

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

void DeviceListFlags::Added(int device, int row, const QString &mac, const QString &ip, const QString &mask)
{
    if (device != static_cast<int>(m_devices.size()))
        return; // devices are only ever appended
    Device added{mac, QString(), 0, netmask(mask), false};
    if (const std::optional<quint32> address = dottedQuad(ip); address && *address != 0) {
        added.ip = ip;
        added.address = *address;
    }
    added.outside = IsOutside(added);
    m_devices.push_back(added);
    if (m_rowOfDevice.size() + 1 == m_devices.size())
        m_rowOfDevice.push_back(row);
    else
        m_rowOfDevice.clear();

    if (!added.ip.isEmpty()) {
        QList<int> &sharing = m_devicesAt[added.ip];
        sharing.append(device);
        if (sharing.size() == 2)
            Recolour(sharing.first()); // the first now shares its address too
    }
    if (added.outside || InUseTwice(added))
        Recolour(device);
}

// A device the adapter can talk to directly: its address in the adapter's network, and the
// adapter's address in the device's own network (it answers there without a gateway).
bool DeviceListFlags::IsOutside(const Device &device) const
{
    if (!m_network)
        return false;
    if (device.ip.isEmpty())
        return true;
    const quint32 adapterMask = maskOfPrefix(m_network->prefixLength);
    if ((device.address & adapterMask) != (m_network->address & adapterMask))
        return true;
    return device.mask && (device.address & *device.mask) != (m_network->address & *device.mask);
}

bool DeviceListFlags::InUseTwice(const Device &device) const
{
    return !device.ip.isEmpty() && m_devicesAt.value(device.ip).size() > 1;
}

void DeviceListFlags::SetNetwork(std::optional<Network> network)
{
    m_network = std::move(network);
    for (int n = 0; n < static_cast<int>(m_devices.size()); ++n) {
        Device &device = m_devices[static_cast<std::size_t>(n)];
        const bool outside = IsOutside(device);
        if (outside != device.outside) {
            device.outside = outside;
            Recolour(n);
        }
    }
}

void DeviceListFlags::Recolour(int device)
{
    const int row = RowOf(device);
    if (row < 0)
        return;
    const Device &flagged = m_devices[static_cast<std::size_t>(device)];
    if (flagged.outside) {
        m_list.SetItemColors(row, CCorvaneDlg::kIpColumn, kFlagText, kOutsideBk);
    } else if (InUseTwice(flagged)) {
        m_list.SetItemColors(row, CCorvaneDlg::kIpColumn, kFlagText, kInUseTwiceBk);
    } else {
        const QPalette &colours = m_list.palette();
        m_list.SetItemColors(row, CCorvaneDlg::kIpColumn, colours.color(QPalette::Text).rgba(),
                             colours.color(QPalette::Base).rgba());
    }
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
    QStringList notes;
    if (self.outside) {
        const quint32 network = m_network->address & maskOfPrefix(m_network->prefixLength);
        notes << QStringLiteral("Not in %1/%2 of %3: give it an address in that network")
                     .arg(QHostAddress(network).toString())
                     .arg(m_network->prefixLength)
                     .arg(m_network->adapterName);
    }
    const QList<int> sharing = self.ip.isEmpty() ? QList<int>() : m_devicesAt.value(self.ip);
    if (sharing.size() > 1) {
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
        notes << QStringLiteral("Address in use twice: %1 is also used by %2").arg(self.ip, named);
    }
    return notes.join(QLatin1Char('\n'));
}
