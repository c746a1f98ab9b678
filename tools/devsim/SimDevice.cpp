#include "SimDevice.h"

#include "RecordText.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

CameraInfo SearchReply(const SimDevice &device)
{
    CameraInfo info{};
    info.header.cmd = CMD_SEARCH_REPLY;
    WriteText(info.mac_addr, device.mac);
    WriteText(info.model_name, device.model);
    WriteText(info.manufacturer, device.manufacturer);
    WriteText(info.version, device.version);
    info.dhcp = device.dhcp ? 1 : 0;
    WriteText(info.ip_addr, device.ip);
    WriteText(info.subnet_mask, device.mask);
    WriteText(info.gateway, device.gateway);
    WriteText(info.dns, device.dns);
    info.web_port = device.webPort;
    info.media_port = device.mediaPort;
    info.https = device.https ? 1 : 0;
    return info;
}

namespace {
bool isTrue(const QString &value)
{
    return value == QLatin1String("true") || value == QLatin1String("1");
}

bool setField(SimDevice &device, const QString &key, const QString &value, QString &error)
{
    bool ok = true;
    // "hex:" gives any bytes: texts that are not UTF-8, or hold commas, quotes or line breaks.
    const QByteArray bytes = value.startsWith(QLatin1String("hex:")) ? QByteArray::fromHex(value.mid(4).toLatin1())
                                                                     : value.toUtf8();
    if (key == QLatin1String("family")) {
        if (value == QLatin1String("own"))
            device.family = SimDevice::Family::Own;
        else if (value == QLatin1String("vendor"))
            device.family = SimDevice::Family::Vendor;
        else if (value == QLatin1String("onvif"))
            device.family = SimDevice::Family::Onvif;
        else
            ok = false;
    } else if (key == QLatin1String("mac")) {
        device.mac = bytes;
    } else if (key == QLatin1String("model")) {
        device.model = bytes;
    } else if (key == QLatin1String("manufacturer")) {
        device.manufacturer = bytes;
    } else if (key == QLatin1String("version")) {
        device.version = bytes;
    } else if (key == QLatin1String("dhcp")) {
        device.dhcp = isTrue(value);
    } else if (key == QLatin1String("ip")) {
        device.ip = bytes;
    } else if (key == QLatin1String("mask")) {
        device.mask = bytes;
    } else if (key == QLatin1String("gateway")) {
        device.gateway = bytes;
    } else if (key == QLatin1String("dns")) {
        device.dns = bytes;
    } else if (key == QLatin1String("dns2")) {
        device.dns2 = bytes;
    } else if (key == QLatin1String("webPort")) {
        device.webPort = value.toUShort(&ok);
    } else if (key == QLatin1String("mediaPort")) {
        device.mediaPort = value.toUShort(&ok);
    } else if (key == QLatin1String("https")) {
        device.https = isTrue(value);
    } else if (key == QLatin1String("userId")) {
        device.userId = bytes;
    } else if (key == QLatin1String("password")) {
        device.password = bytes;
    } else if (key == QLatin1String("fakeApply")) {
        device.fakeApply = isTrue(value);
    } else if (key == QLatin1String("deviceType")) {
        device.deviceType = bytes;
    } else if (key == QLatin1String("endpoint")) {
        device.endpoint = bytes;
    } else if (key == QLatin1String("serial")) {
        device.serial = bytes;
    } else if (key == QLatin1String("onvifAuth")) {
        ok = value == QLatin1String("both") || value == QLatin1String("token") || value == QLatin1String("digest");
        device.onvifAuth = bytes;
    } else if (key == QLatin1String("digestAlgorithms")) {
        device.digestAlgorithms = bytes;
    } else if (key == QLatin1String("clockOffset")) {
        device.clockOffsetS = value.toInt(&ok);
    } else if (key == QLatin1String("clockAccess")) {
        ok = value == QLatin1String("open") || value == QLatin1String("login") || value == QLatin1String("none");
        device.clockAccess = bytes;
    } else if (key == QLatin1String("rebootNeeded")) {
        device.rebootNeeded = isTrue(value);
    } else if (key == QLatin1String("linkLocalFirst")) {
        device.linkLocalFirst = isTrue(value);
    } else if (key == QLatin1String("nvtOnly")) {
        device.nvtOnly = isTrue(value);
    } else if (key == QLatin1String("uuidForm")) {
        ok = value == QLatin1String("urn") || value == QLatin1String("uuid");
        device.uuidForm = bytes;
    } else if (key == QLatin1String("bigAnswer")) {
        device.bigAnswer = isTrue(value);
    } else if (key == QLatin1String("macScope")) {
        device.macScope = isTrue(value);
    } else if (key == QLatin1String("foreignXAddr")) {
        device.foreignXAddr = bytes;
    } else {
        error = QStringLiteral("unknown device key: %1").arg(key);
        return false;
    }
    if (!ok)
        error = QStringLiteral("bad value for %1: %2").arg(key, value);
    return ok;
}

QString jsonText(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble())
        return QString::number(value.toInteger());
    return value.toString();
}

void applyVendorDefaults(SimDevice &device)
{
    if (device.family == SimDevice::Family::Vendor && device.manufacturer == "Talbrixonics")
        device.manufacturer = VENDOR_MANUFACTURER;
    if (device.family == SimDevice::Family::Onvif) {
        if (device.manufacturer == "Talbrixonics")
            device.manufacturer = "Ostrava Optics";
        if (device.model == "TC-100")
            device.model = "OV-4000";
        if (device.endpoint.isEmpty()) {
            // Stable across runs, as a real device's is across reboots.
            const QUuid uuid = QUuid::createUuidV5(QUuid(), QString::fromLatin1(device.mac));
            device.endpoint = "urn:uuid:" + uuid.toByteArray(QUuid::WithoutBraces);
        }
        if (device.serial.isEmpty())
            device.serial = QByteArray(device.mac).replace(':', "");
    }
}
} // namespace

bool LoadDeviceFile(const QString &path, QList<SimDevice> &devices, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull()) {
        error = QStringLiteral("%1: %2").arg(path, parseError.errorString());
        return false;
    }
    const QJsonArray list = document.object().value(QLatin1String("devices")).toArray();
    for (const QJsonValue &entry : list) {
        SimDevice device;
        const QJsonObject object = entry.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!setField(device, it.key(), jsonText(it.value()), error))
                return false;
        }
        applyVendorDefaults(device);
        devices.append(device);
    }
    return true;
}

bool ParseDeviceOption(const QString &option, SimDevice &device, QString &error)
{
    const auto pairs = option.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq < 0) {
            error = QStringLiteral("expected key=value: %1").arg(pair);
            return false;
        }
        if (!setField(device, pair.left(eq).trimmed(), pair.mid(eq + 1), error))
            return false;
    }
    applyVendorDefaults(device);
    return true;
}

QList<SimDevice> GenerateDevices(SimDevice::Family family, int count, const QByteArray &firstIp, int firstIndex)
{
    QList<SimDevice> devices;
    devices.reserve(count);
    const quint32 base = QHostAddress(QString::fromLatin1(firstIp)).toIPv4Address();
    for (int i = 0; i < count; ++i) {
        const int n = firstIndex + i;
        SimDevice device;
        device.family = family;
        device.mac = QStringLiteral("02:%1:00:%2:%3:%4")
                         .arg(family == SimDevice::Family::Own      ? 0
                              : family == SimDevice::Family::Vendor ? 0x10
                                                                    : 0x20,
                              2, 16, QLatin1Char('0'))
                         .arg((n >> 16) & 0xff, 2, 16, QLatin1Char('0'))
                         .arg((n >> 8) & 0xff, 2, 16, QLatin1Char('0'))
                         .arg(n & 0xff, 2, 16, QLatin1Char('0'))
                         .toUpper()
                         .toLatin1();
        device.ip = QHostAddress(base + static_cast<quint32>(n)).toString().toLatin1();
        device.gateway = QHostAddress((base & 0xffffff00u) | 1u).toString().toLatin1();
        device.dns = device.gateway;
        if (family == SimDevice::Family::Vendor) {
            device.manufacturer = VENDOR_MANUFACTURER;
            device.model = "HV-2000";
        }
        applyVendorDefaults(device);
        devices.append(device);
    }
    return devices;
}
