#include "CameraInfo.h"

#include "RecordText.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {
struct ResultText
{
    qint32 code;
    const char *text;
};

constexpr ResultText kResultMessages[] = {
    {RESULT_OK, "Apply"},
    {RESULT_FAILED, "Failed"},
    {RESULT_INVALID_ADDRESS, "Failed. Invalid address"},
    {RESULT_INVALID_PORT, "Failed. Invalid port"},
    {RESULT_INVALID_CONFIG, "Failed. Invalid config"},
    {RESULT_LOGIN_FAILED, "Failed. login failed"},
};
} // namespace

const char *ResultMessage(qint32 result)
{
    const auto it = std::find_if(std::begin(kResultMessages), std::end(kResultMessages),
                                 [result](const ResultText &r) { return r.code == result; });
    return it == std::end(kResultMessages) ? nullptr : it->text;
}

CameraInfo MakeSearchRequest()
{
    CameraInfo request{};
    request.header.cmd = CMD_SEARCH_REQUEST;
    return request;
}

QByteArray ToDatagram(const CameraInfo &info)
{
    return QByteArray(reinterpret_cast<const char *>(&info), CAMERA_INFO_WIRE_SIZE);
}

CameraInfo FromDatagram(QByteArrayView datagram)
{
    CameraInfo info{};
    // An empty view may have no data pointer at all, and memcpy from null is undefined even for 0 bytes.
    if (!datagram.isEmpty())
        std::memcpy(&info, datagram.data(), static_cast<size_t>(std::min(datagram.size(), CAMERA_INFO_SIZE)));
    return info;
}

bool IsVendorFamily(const CameraInfo &info)
{
    return ReadText(info.manufacturer) == VENDOR_MANUFACTURER;
}

static char *vendorPasswordSlot(CameraInfo &info)
{
    return reinterpret_cast<char *>(&info) + offsetof(CameraInfoHeader, pass_wd);
}

void SetVendorPassword(CameraInfo &info, QByteArrayView password)
{
    WriteText(vendorPasswordSlot(info), VENDOR_PASSWORD_WIDTH, password);
}

void SetVendorPasswordText(CameraInfo &info, const QString &password)
{
    SetVendorPassword(info, QByteArrayView(password.toUtf8()));
}

QByteArray VendorPassword(const CameraInfo &info)
{
    return ReadText(vendorPasswordSlot(const_cast<CameraInfo &>(info)), VENDOR_PASSWORD_WIDTH);
}
