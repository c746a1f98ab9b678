#include "DeviceListFlags.h"

#include "AdapterNetwork.h"
#include "CCorvaneDlg.h"
#include "CReportCtrl.h"

#include <QHostAddress>
#include <QStringList>

namespace {
// As QHostAddress::isInSubnet for IPv4, without making an address object for every device.
bool inSubnet(std::optional<quint32> address, std::pair<std::optional<quint32>, int> subnet)
{
    if (!address || !subnet.first || subnet.second < 0 || subnet.second > 32)
        return false;
    const quint32 mask = subnet.second == 0 ? 0 : ~quint32(0) << (32 - subnet.second);
    return (*address & mask) == (*subnet.first & mask);
}

std::optional<quint32> ipv4Of(const QHostAddress &address)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    return address.toIPv4Address();
}
} // namespace

DeviceListFlags::DeviceListFlags(CReportCtrl &list, std::function<int(int row)> deviceOfRow,
                                 std::function<QString(int device)> macOf)
    : m_list(list)
    , m_deviceOfRow(std::move(deviceOfRow))
    , m_macOf(std::move(macOf))
{
    m_devicesAt.reserve(DeviceSearch::kDevicesReserved);
}

void DeviceListFlags::Clear()
{
    m_devices.clear();
    m_devicesAt.clear();
    m_devicesAt.reserve(DeviceSearch::kDevicesReserved);
    m_rowOfDevice.clear();
}

DeviceListFlags::Device DeviceListFlags::Judged(const QString &ip, const QString &mask)
{
    Device judged{QString(), 0, PrefixOfMask(mask), false};
    // An address a device can be reached at: a dotted quad, not 0.0.0.0.
    const QHostAddress address(ip);
    if (address.protocol() == QAbstractSocket::IPv4Protocol && address != QHostAddress(QHostAddress::AnyIPv4)) {
        judged.ip = ip;
        judged.address = address.toIPv4Address();
    }
    judged.outside = IsOutside(judged);
    return judged;
}

void DeviceListFlags::Added(int device, int row, const QString &mac, const QString &ip, const QString &mask)
{
    if (device != static_cast<int>(m_devices.size()))
        return;    // devices are only ever appended
    Q_UNUSED(mac); // asked for when a note names the device
    m_devices.push_back(Judged(ip, mask));
    if (m_rowOfDevice.size() + 1 == m_devices.size())
        m_rowOfDevice.push_back(row);
    else
        m_rowOfDevice.clear();
    Link(device);
    const Device &added = m_devices.back();
    if (added.outside || InUseTwice(added))
        Recolour(device);
}

void DeviceListFlags::Changed(int device, const QString &ip, const QString &mask)
{
    if (device < 0 || device >= static_cast<int>(m_devices.size()))
        return;
    Unlink(device);
    m_devices[static_cast<std::size_t>(device)] = Judged(ip, mask);
    Link(device);
    Recolour(device);
}

void DeviceListFlags::Removed(int device)
{
    if (device < 0 || device >= static_cast<int>(m_devices.size()))
        return;
    Unlink(device);
    m_devices.erase(m_devices.begin() + device);
    const auto renumbered = [device](int &other) {
        if (other > device)
            --other;
    };
    for (Device &other : m_devices)
        renumbered(other.nextAtAddress);
    for (AddressUsers &users : m_devicesAt) {
        renumbered(users.first);
        renumbered(users.last);
    }
    m_rowOfDevice.clear();
}

void DeviceListFlags::Link(int device)
{
    Device &self = m_devices[static_cast<std::size_t>(device)];
    if (self.ip.isEmpty())
        return;
    AddressUsers &users = m_devicesAt[self.ip];
    if (users.count == 0) {
        users.first = users.last = device;
    } else if (device > users.last) { // the usual case: the device listed last
        m_devices[static_cast<std::size_t>(users.last)].nextAtAddress = device;
        users.last = device;
    } else if (device < users.first) {
        self.nextAtAddress = users.first;
        users.first = device;
    } else {
        int before = users.first;
        while (m_devices[static_cast<std::size_t>(before)].nextAtAddress < device)
            before = m_devices[static_cast<std::size_t>(before)].nextAtAddress;
        self.nextAtAddress = m_devices[static_cast<std::size_t>(before)].nextAtAddress;
        m_devices[static_cast<std::size_t>(before)].nextAtAddress = device;
    }
    if (++users.count == 2) // the other one now shares its address too
        Recolour(users.first == device ? self.nextAtAddress : users.first);
}

void DeviceListFlags::Unlink(int device)
{
    Device &self = m_devices[static_cast<std::size_t>(device)];
    const auto users = m_devicesAt.find(self.ip);
    if (self.ip.isEmpty() || users == m_devicesAt.end())
        return;
    int before = -1;
    int other = users->first;
    for (; other >= 0 && other != device; other = m_devices[static_cast<std::size_t>(other)].nextAtAddress)
        before = other;
    if (other != device)
        return;
    if (before < 0)
        users->first = self.nextAtAddress;
    else
        m_devices[static_cast<std::size_t>(before)].nextAtAddress = self.nextAtAddress;
    if (users->last == device)
        users->last = before;
    self.nextAtAddress = -1;
    if (--users->count == 0)
        m_devicesAt.erase(users);
    else if (users->count == 1) // alone at its address again
        Recolour(users->first);
}

// Outside: no usable address, an address outside the adapter's network, or a mask of its own
// that leaves the adapter outside the device's network (it would answer through a gateway).
bool DeviceListFlags::IsOutside(const Device &device) const
{
    if (m_strNetwork.isEmpty())
        return false;
    if (device.ip.isEmpty() || !inSubnet(device.address, m_network))
        return true;
    return device.ownPrefix >= 0 && !inSubnet(m_adapterAddress, {device.address, device.ownPrefix});
}

int DeviceListFlags::PrefixOfMask(const QString &mask)
{
    const auto known = m_prefixOfMask.constFind(mask);
    if (known != m_prefixOfMask.cend())
        return *known;
    const int prefix = QHostAddress::parseSubnet(QStringLiteral("0.0.0.0/") + mask).second; // -1: no mask
    m_prefixOfMask.insert(mask, prefix);
    return prefix;
}

bool DeviceListFlags::InUseTwice(const Device &device) const
{
    return !device.ip.isEmpty() && m_devicesAt.value(device.ip).count > 1;
}

void DeviceListFlags::SetAdapter(const CNetworkAdapterObj *adapter)
{
    m_strAdapterName = adapter ? adapter->m_strName : QString();
    m_adapterAddress = ipv4Of(adapter ? QHostAddress(adapter->m_strAddress) : QHostAddress());
    m_strNetwork = adapter ? AdapterNetworkText(*adapter) : QString();
    const auto [network, prefix] = QHostAddress::parseSubnet(m_strNetwork);
    m_network = {ipv4Of(network), prefix};
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
    return device >= 0 && device < static_cast<int>(m_rowOfDevice.size())
               ? m_rowOfDevice[static_cast<std::size_t>(device)]
               : -1;
}

QString DeviceListFlags::Note(int device, int column) const
{
    if (column != CCorvaneDlg::kIpColumn || device < 0 || device >= static_cast<int>(m_devices.size()))
        return {};
    const Device &self = m_devices[static_cast<std::size_t>(device)];
    QStringList notes;
    if (self.outside)
        notes << QStringLiteral("Not in %1 of %2: give it an address in that network")
                     .arg(m_strNetwork, m_strAdapterName);
    const AddressUsers users = self.ip.isEmpty() ? AddressUsers() : m_devicesAt.value(self.ip);
    if (users.count > 1) {
        QStringList others;
        for (int other = users.first; other >= 0; other = m_devices[static_cast<std::size_t>(other)].nextAtAddress) {
            if (other == device)
                continue;
            if (others.size() == kMacsNamed) {
                others << QStringLiteral("%1 more").arg(users.count - 1 - kMacsNamed);
                break;
            }
            others << m_macOf(other);
        }
        const QString last = others.takeLast();
        const QString named = others.isEmpty() ? last
                                               : others.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
        notes << QStringLiteral("Address in use twice: %1 is also used by %2").arg(self.ip, named);
    }
    return notes.join(QLatin1Char('\n'));
}
