#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtEndian>

#include <cstddef>

// One datagram of the own device family carries exactly one of these records, in both
// directions; it is also how every discovered device of both families is stored.
// Integers are little-endian on the wire: the _le types keep that true on any host.

#pragma pack(push, 1)
struct alignas(4) CameraInfoHeader
{
    qint32_le cmd;
    qint32_le result;
    char user_id[32];
    char pass_wd[16]; // MD5 of the password and its NUL; plain text for vendor-family devices
    char reserved1[16];
};

// Aligned so that its integers are, wherever a record is kept.
struct alignas(4) CameraInfo
{
    CameraInfoHeader header;
    char mac_addr[24];
    char model_name[32];
    char manufacturer[64];
    char version[36];
    qint32_le dhcp;
    char ip_addr[32];
    char subnet_mask[32];
    char gateway[32];
    char dns[32];
    quint16_le web_port;
    char reserved2[2];
    quint16_le media_port;
    char reserved3[4];
    quint8 https;
    char reserved4; // never transmitted
};
#pragma pack(pop)

static_assert(sizeof(CameraInfoHeader) == 72);
static_assert(sizeof(CameraInfo) == 372);
static_assert(alignof(CameraInfo) == 4);
static_assert(offsetof(CameraInfoHeader, cmd) == 0);
static_assert(offsetof(CameraInfoHeader, result) == 4);
static_assert(offsetof(CameraInfoHeader, user_id) == 8);
static_assert(offsetof(CameraInfoHeader, pass_wd) == 40);
static_assert(offsetof(CameraInfoHeader, reserved1) == 56);
static_assert(offsetof(CameraInfo, header) == 0);
static_assert(offsetof(CameraInfo, mac_addr) == 72);
static_assert(offsetof(CameraInfo, model_name) == 96);
static_assert(offsetof(CameraInfo, manufacturer) == 128);
static_assert(offsetof(CameraInfo, version) == 192);
static_assert(offsetof(CameraInfo, dhcp) == 228);
static_assert(offsetof(CameraInfo, ip_addr) == 232);
static_assert(offsetof(CameraInfo, subnet_mask) == 264);
static_assert(offsetof(CameraInfo, gateway) == 296);
static_assert(offsetof(CameraInfo, dns) == 328);
static_assert(offsetof(CameraInfo, web_port) == 360);
static_assert(offsetof(CameraInfo, reserved2) == 362);
static_assert(offsetof(CameraInfo, media_port) == 364);
static_assert(offsetof(CameraInfo, reserved3) == 366);
static_assert(offsetof(CameraInfo, https) == 370);
static_assert(offsetof(CameraInfo, reserved4) == 371);

inline constexpr qsizetype CAMERA_INFO_SIZE = sizeof(CameraInfo);
inline constexpr qsizetype CAMERA_INFO_WIRE_SIZE = CAMERA_INFO_SIZE - 1; // reserved4 stays home

inline constexpr qint32 CMD_SEARCH_REQUEST = 3;
inline constexpr qint32 CMD_SEARCH_REPLY = 4;
inline constexpr qint32 CMD_SET_NETWORK = 5;

inline constexpr qint32 RESULT_OK = 0;
inline constexpr qint32 RESULT_FAILED = 1;
inline constexpr qint32 RESULT_INVALID_ADDRESS = 2;
inline constexpr qint32 RESULT_INVALID_PORT = 3;
inline constexpr qint32 RESULT_INVALID_CONFIG = 4;
inline constexpr qint32 RESULT_LOGIN_FAILED = 5;

// The maker's name that marks a vendor-family record (exact, case-sensitive).
inline constexpr char VENDOR_MANUFACTURER[] = "Halvetrano";

// The message shown for a set-network result, or nullptr for a code that shows none.
const char *ResultMessage(qint32 result);

// A search request: every byte zero but cmd.
CameraInfo MakeSearchRequest();

// The first 371 bytes of the record, as they go on the wire.
QByteArray ToDatagram(const CameraInfo &info);

// A record from a received datagram: at most 372 bytes are taken, a shorter one is zero-filled.
CameraInfo FromDatagram(QByteArrayView datagram);

bool IsVendorFamily(const CameraInfo &info);

// Vendor-family records carry the plain password at pass_wd instead of a digest; it may use
// the 32 bytes up to mac_addr (31 characters and the NUL).
inline constexpr std::size_t VENDOR_PASSWORD_WIDTH = 32;
void SetVendorPassword(CameraInfo &info, QByteArrayView password);
// As UTF-8 on every system: the library's login proof is over UTF-8, and the local 8-bit
// encoding is the ANSI code page on Windows.
void SetVendorPasswordText(CameraInfo &info, const QString &password);
QByteArray VendorPassword(const CameraInfo &info);
