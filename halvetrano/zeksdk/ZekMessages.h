#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>

#include <cstddef>
#include <cstring>
#include <optional>

// The UDP protocol between the vendor-family library and its devices, as both sides build and
// read it. docs/vendor-protocol.md describes it for device implementers.

inline constexpr quint16 ZEK_DEVICE_PORT = 40120; // devices listen here for probes and network changes
inline constexpr quint16 ZEK_CLIENT_PORT = 40121; // devices broadcast their answers to probes and network changes here

inline constexpr char ZEK_MAGIC[4] = {'Z', 'E', 'K', 'P'};
inline constexpr quint8 ZEK_VERSION = 1;

// Message types; an answer is its request's type with ZEK_ANSWER set.
inline constexpr quint8 ZEK_PROBE = 0x01;
inline constexpr quint8 ZEK_LOGIN = 0x02;
inline constexpr quint8 ZEK_REBOOT = 0x03;
inline constexpr quint8 ZEK_FACTORY_RESET = 0x04;
inline constexpr quint8 ZEK_LOGOUT = 0x05;
inline constexpr quint8 ZEK_MODIFY_NETWORK = 0x06;
inline constexpr quint8 ZEK_ANSWER = 0x80;

inline constexpr std::size_t ZEK_PROOF_SIZE = 32; // SHA-256

#pragma pack(push, 1)
struct ZekHeader
{
    char magic[4];
    quint8 version;
    quint8 type;
    quint16_le reserved;
    quint32_le request_id; // chosen by the library, echoed by the device
    qint32_le status;      // answers: 0 or a negative ZEK_ERR_ code; requests: 0
};

struct ZekProbe
{
    ZekHeader header;
};

struct ZekProbeAnswer
{
    ZekHeader header;
    char ip_addr[16];
    char subnet_mask[16];
    char gateway[16];
    char dns1[16];
    char dns2[16];
    char mac_addr[40];
    char device_type[32];
    char device_model[32];
    quint16_le media_port;
    quint16_le web_port;
};

struct ZekLogin
{
    ZekHeader header;
    char target_ip[16]; // the address and media port the library was given
    quint16_le target_port;
    quint16_le reserved;
    char user_id[32];
    char proof[ZEK_PROOF_SIZE];
};

struct ZekLoginAnswer
{
    ZekHeader header;
    quint32_le session; // non-zero when the login succeeded
};

// Reboot, factory reset and logout.
struct ZekSessionRequest
{
    ZekHeader header;
    char target_ip[16];
    quint16_le target_port;
    quint16_le reserved;
    quint32_le session;
};

struct ZekStatusAnswer
{
    ZekHeader header;
};

struct ZekModifyNetwork
{
    ZekHeader header;
    char mac_addr[40];
    char user_id[32];
    char proof[ZEK_PROOF_SIZE];
    char ip_addr[16];
    char subnet_mask[16];
    char gateway[16];
    char dns1[16];
    char dns2[16];
    qint32_le mode;
};

struct ZekModifyAnswer
{
    ZekHeader header;
    char mac_addr[40];
};
#pragma pack(pop)

static_assert(sizeof(ZekHeader) == 16);
static_assert(offsetof(ZekHeader, version) == 4);
static_assert(offsetof(ZekHeader, type) == 5);
static_assert(offsetof(ZekHeader, request_id) == 8);
static_assert(offsetof(ZekHeader, status) == 12);
static_assert(sizeof(ZekProbe) == 16);
static_assert(offsetof(ZekProbeAnswer, ip_addr) == 16);
static_assert(offsetof(ZekProbeAnswer, mac_addr) == 96);
static_assert(offsetof(ZekProbeAnswer, device_type) == 136);
static_assert(offsetof(ZekProbeAnswer, media_port) == 200);
static_assert(sizeof(ZekProbeAnswer) == 204);
static_assert(offsetof(ZekLogin, target_port) == 32);
static_assert(offsetof(ZekLogin, user_id) == 36);
static_assert(offsetof(ZekLogin, proof) == 68);
static_assert(sizeof(ZekLogin) == 100);
static_assert(sizeof(ZekLoginAnswer) == 20);
static_assert(offsetof(ZekSessionRequest, session) == 36);
static_assert(sizeof(ZekSessionRequest) == 40);
static_assert(sizeof(ZekStatusAnswer) == 16);
static_assert(offsetof(ZekModifyNetwork, user_id) == 56);
static_assert(offsetof(ZekModifyNetwork, proof) == 88);
static_assert(offsetof(ZekModifyNetwork, ip_addr) == 120);
static_assert(offsetof(ZekModifyNetwork, mode) == 200);
static_assert(sizeof(ZekModifyNetwork) == 204);
static_assert(sizeof(ZekModifyAnswer) == 56);

ZekHeader MakeZekHeader(quint8 type, quint32 requestId, qint32 status = 0);

template<typename Message>
QByteArray EncodeZek(const Message &message)
{
    return QByteArray(reinterpret_cast<const char *>(&message), sizeof message);
}

// A datagram is taken only when it is exactly the message's size and carries our magic, our
// version and the expected type; anything else is foreign or malformed.
template<typename Message>
std::optional<Message> DecodeZek(QByteArrayView datagram, quint8 type)
{
    if (datagram.size() != static_cast<qsizetype>(sizeof(Message)))
        return std::nullopt;
    Message message{};
    std::memcpy(&message, datagram.data(), sizeof message);
    const ZekHeader &header = message.header;
    if (std::memcmp(header.magic, ZEK_MAGIC, sizeof ZEK_MAGIC) != 0 || header.version != ZEK_VERSION
        || header.type != type)
        return std::nullopt;
    return message;
}

// What stands for the password on the wire: SHA-256 of the request id (4 bytes, little-endian)
// and the password text. Keeps the password itself off a broadcast.
QByteArray ZekPasswordProof(quint32 requestId, QByteArrayView password);
void WriteZekProof(char (&proof)[ZEK_PROOF_SIZE], quint32 requestId, QByteArrayView password);
bool ZekProofMatches(const char (&proof)[ZEK_PROOF_SIZE], quint32 requestId, QByteArrayView password);

// A fresh non-zero random number for request ids and sessions.
quint32 NewZekId();
