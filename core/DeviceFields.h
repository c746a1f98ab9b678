#pragma once

#include "CameraInfo.h"
#include "DeviceFamily.h"
#include "RecordText.h"

#include <QByteArrayView>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QList>
#include <QString>

// A device as scripts and exported lists see it: named fields in a fixed order, the same for
// every output format.
struct DeviceField
{
    QLatin1StringView name;
    QJsonValue value; // a string, a whole number or a boolean
};
using DeviceFieldList = QList<DeviceField>;

// A record's text for people and files: UTF-8 when the bytes are valid UTF-8, otherwise each
// byte as its Latin-1 character. Either way every byte becomes a character, so the text is
// valid in any output and two different texts never look alike.
QString DeviceText(QByteArrayView bytes);

template<std::size_t N>
QString DeviceText(const char (&field)[N])
{
    return DeviceText(ReadText(field));
}

// The address a double-click on the device's row opens: "http://ip", "http://ip:port",
// "https://ip", "https://ip:port"; empty when https is neither 0 nor 1.
QString DeviceWebAddress(const CameraInfo &record);

struct OnvifListing;

// family (own|vendor|onvif), mac, ip, mask, gateway, dns, web_port, media_port, https, dhcp,
// model, manufacturer, version, url, then endpoint and service (an ONVIF device's endpoint and
// service addresses), serial and read_error (why reading its settings failed): empty for the
// other families. Texts end at their first NUL (or the field's end). An ONVIF device whose
// settings were not read has dhcp null (unknown), and empty mask, gateway and dns.
DeviceFieldList DeviceFields(const CameraInfo &record);
// The same for a device whose family is kept beside its record; onvif may be null.
DeviceFieldList DeviceFields(const CameraInfo &record, DeviceFamily family, const OnvifListing *onvif);

// The field's value as one cell of text: booleans "true"/"false", numbers in decimal.
QString FieldText(const QJsonValue &value);

// The named field's value; null when there is none.
QJsonValue FieldValue(const DeviceFieldList &fields, QLatin1StringView name);
