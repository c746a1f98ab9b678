#include "DeviceFields.h"

#include "DeviceSearch.h"
#include "OnvifListing.h"

#include <QStringDecoder>

QString DeviceText(QByteArrayView bytes)
{
    // A BOM is a character like any other here: nothing may vanish from a device's text.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

QString DeviceWebAddress(const CameraInfo &record)
{
    const int port = record.web_port;
    const QString ip = DeviceText(record.ip_addr);
    if (record.https == 0)
        return port == 80 ? QStringLiteral("http://%1").arg(ip) : QStringLiteral("http://%1:%2").arg(ip).arg(port);
    if (record.https == 1)
        return port == 443 ? QStringLiteral("https://%1").arg(ip) : QStringLiteral("https://%1:%2").arg(ip).arg(port);
    return {};
}

DeviceFieldList DeviceFields(const CameraInfo &record)
{
    return DeviceFields(record, FamilyOf(record), nullptr);
}

DeviceFieldList DeviceFields(const CameraInfo &record, DeviceFamily family, const OnvifListing *onvif)
{
    using namespace Qt::Literals::StringLiterals;
    const auto onvifText = [onvif](auto member) { return onvif ? member(*onvif) : QString(); };
    return {
        {"family"_L1, QString::fromLatin1(FamilyName(family))},
        {"mac"_L1, DeviceText(record.mac_addr)},
        {"ip"_L1, DeviceText(record.ip_addr)},
        {"mask"_L1, DeviceText(record.subnet_mask)},
        {"gateway"_L1, DeviceText(record.gateway)},
        {"dns"_L1, DeviceText(record.dns)},
        {"web_port"_L1, static_cast<int>(record.web_port)},
        {"media_port"_L1, static_cast<int>(record.media_port)},
        {"https"_L1, static_cast<int>(record.https)},
        // Unknown (null, an empty cell) for an ONVIF device whose settings were not read: false
        // would be made up.
        {"dhcp"_L1, onvif && !onvif->settings ? QJsonValue() : QJsonValue(record.dhcp != 0)},
        {"model"_L1, DeviceText(record.model_name)},
        {"manufacturer"_L1, DeviceText(record.manufacturer)},
        {"version"_L1, DeviceText(record.version)},
        {"url"_L1, DeviceWebAddress(record)},
        {"endpoint"_L1, onvifText([](const OnvifListing &l) { return l.device.endpoint; })},
        {"service"_L1, onvifText([](const OnvifListing &l) { return l.device.serviceAddress.toString(); })},
        {"serial"_L1, onvifText([](const OnvifListing &l) { return l.settings ? l.settings->serial : QString(); })},
        {"read_error"_L1, onvifText([](const OnvifListing &l) { return l.readError; })},
    };
}

QString FieldText(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble())
        return QString::number(value.toInteger());
    return value.toString();
}

QJsonValue FieldValue(const DeviceFieldList &fields, QLatin1StringView name)
{
    for (const DeviceField &field : fields) {
        if (field.name == name)
            return field.value;
    }
    return {};
}
