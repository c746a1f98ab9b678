#include "OnvifListing.h"

#include "OnvifServiceAddress.h"
#include "RecordText.h"
#include "SoapMessages.h"

#include <algorithm>

namespace {
QString firstOf(const QString &a, const QString &b)
{
    return a.isEmpty() ? b : a;
}

// The endpoint without its "urn:" in front: devices write the same uuid in both forms.
QStringView bareEndpoint(QStringView endpoint)
{
    if (endpoint.startsWith(QLatin1String("urn:"), Qt::CaseInsensitive))
        return endpoint.mid(4);
    return endpoint;
}
} // namespace

QString OnvifMac(const OnvifListing &listing)
{
    if (listing.settings && !listing.settings->mac.isEmpty())
        return listing.settings->mac;
    return listing.device.mac;
}

std::optional<quint64> MacNumber(QByteArrayView mac)
{
    quint64 number = 0;
    int digits = 0;
    for (const char c : mac) {
        if (c == ':' || c == '-' || c == '.')
            continue;
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (value < 0 || ++digits > 12)
            return std::nullopt;
        number = number << 4 | static_cast<quint64>(value);
    }
    return digits == 12 ? std::optional(number) : std::nullopt;
}

std::optional<quint64> MacNumber(QStringView mac)
{
    return mac.size() <= 17 ? MacNumber(QByteArrayView(mac.toLatin1())) : std::nullopt;
}

bool NamesOnvifDevice(const OnvifListing &listing, const QString &name)
{
    if (name.isEmpty())
        return false;
    if (!listing.device.endpoint.isEmpty()
        && bareEndpoint(listing.device.endpoint).compare(bareEndpoint(name), Qt::CaseInsensitive) == 0)
        return true;
    const std::optional<quint64> number = MacNumber(name);
    return number && number == MacNumber(OnvifMac(listing));
}

CameraInfo OnvifRecord(const OnvifListing &listing)
{
    const OnvifDevice &device = listing.device;
    const OnvifSettings none;
    const OnvifSettings &settings = listing.settings ? *listing.settings : none;
    CameraInfo record{};
    SetFieldString(record.mac_addr, OnvifMac(listing));
    SetFieldString(record.ip_addr, device.serviceAddress.host());
    SetFieldString(record.model_name, firstOf(device.hardware, settings.model));
    SetFieldString(record.manufacturer, firstOf(settings.manufacturer, device.name));
    SetFieldString(record.version, settings.firmware);
    SetFieldString(record.subnet_mask, settings.mask);
    SetFieldString(record.gateway, settings.gateway);
    SetFieldString(record.dns, settings.dns);
    record.dhcp = settings.dhcp ? 1 : 0;
    const bool https = device.serviceAddress.scheme() == QLatin1String("https");
    record.https = https ? 1 : 0;
    const int servicePort = device.serviceAddress.port(https ? 443 : 80);
    record.web_port = static_cast<quint16>(settings.webPort > 0 ? settings.webPort : servicePort);
    return record;
}

CameraInfo OnvifSettingsRecord(const OnvifSettings &settings)
{
    CameraInfo record{};
    SetFieldString(record.ip_addr, settings.ip);
    SetFieldString(record.subnet_mask, settings.mask);
    SetFieldString(record.gateway, settings.gateway);
    SetFieldString(record.dns, settings.dns);
    record.web_port = static_cast<quint16>(std::max(0, settings.webPort));
    record.dhcp = settings.dhcp ? 1 : 0;
    return record;
}

std::pair<QString, bool> OnvifMoveVerification(const OnvifSettings &wanted, const OnvifDevice *found)
{
    if (!found)
        return {wanted.dhcp ? QStringLiteral("not found") : QStringLiteral("not found at %1").arg(wanted.ip), false};
    const QString ip = found->serviceAddress.host();
    if (!wanted.dhcp && ip != wanted.ip)
        return {QStringLiteral("not found at %1: answers at %2").arg(wanted.ip, ip), false};
    // A device service that moved with the web port must be announced at its new port too.
    if (wanted.servicePort > 0) {
        const int port = found->serviceAddress.port(kHttpPort);
        if (port != wanted.servicePort)
            return {QStringLiteral("not found at port %1: answers at %2:%3").arg(wanted.servicePort).arg(ip).arg(port),
                    false};
        return {QStringLiteral("found at %1:%2").arg(ip).arg(port), true};
    }
    return {QStringLiteral("found at %1").arg(ip), true};
}

OnvifSettings WantedOnvifSettings(const OnvifSettings &current, const NetworkEdits &edits, bool fieldsRead)
{
    OnvifSettings wanted = current;
    if (edits.dhcp != 0)
        wanted.dhcp = true;
    else if (fieldsRead || (!edits.ipAddress.isEmpty() && edits.ipAddress != current.ip))
        wanted.dhcp = false;
    if (!wanted.dhcp) {
        wanted.ip = firstOf(edits.ipAddress, current.ip);
        wanted.mask = firstOf(edits.subnetMask, current.mask);
        const int prefix = PrefixLengthOfMask(wanted.mask);
        wanted.prefixLength = prefix >= 0 ? prefix : current.prefixLength;
        wanted.gateway = firstOf(edits.gateway, current.gateway);
        wanted.dns = firstOf(edits.dns, current.dns);
        if (!edits.dns.isEmpty() && edits.dns != current.dns)
            wanted.dnsFromDhcp = false;
    }
    if (edits.webPort > 0 && edits.webPort <= 0xFFFF)
        wanted.webPort = edits.webPort;
    return wanted;
}

QString OnvifRowNote(const OnvifListing &listing)
{
    QString note = QStringLiteral("ONVIF device %1").arg(listing.device.endpoint);
    if (!listing.readError.isEmpty())
        note += QStringLiteral("; reading its settings: %1").arg(listing.readError);
    else if (!listing.settings)
        note += QStringLiteral("; its settings need a User ID and Password");
    return note;
}
