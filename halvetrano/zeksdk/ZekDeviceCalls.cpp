#include "ZekDeviceCalls.h"

#include "RecordText.h"
#include "ZekBroadcast.h"
#include "ZekMessages.h"

#include <cstring>
#include <utility>

namespace {
constexpr int kResendMs = 800; // a lost request or answer costs this much, not the whole wait
constexpr std::size_t kMaxPasswordBytes = 255;

// A caller's C string, read no further than width bytes (WriteText then cuts it to its slot).
QByteArray callerText(const char *text, std::size_t width)
{
    return QByteArray(text, static_cast<qsizetype>(strnlen(text, width)));
}

// Only the codes a device may answer with pass through; anything else is a plain failure.
int32_t deviceStatus(qint32 status)
{
    switch (status) {
    case ZEK_OK:
    case ZEK_ERR_NOT_LOGGED_IN:
    case ZEK_ERR_INVALID_CONFIG:
    case ZEK_ERR_PASSWORD: return status;
    default: return ZEK_ERR_FAILED;
    }
}

// Sends request to the device the handle points at and waits for its answer from that same
// address and port, resending until ZEK_ANSWER_TIMEOUT_MS have passed.
template<typename Answer>
std::pair<int32_t, Answer> exchange(const ZekDevice &device, QByteArrayView request, quint32 requestId,
                                    quint8 answerType, const ZekStop &stop)
{
    Answer answer{};
    ZekSocket socket;
    if (!socket.Open(kAnyAddress, 0))
        return {ZEK_ERR_NETWORK, answer};
    const QDeadlineTimer deadline(ZEK_ANSWER_TIMEOUT_MS);
    const auto accept = [&](const ZekDatagram &datagram) {
        if (datagram.fromAddress != device.address || datagram.fromPort != device.port)
            return false;
        const auto decoded = DecodeZek<Answer>(datagram.data, answerType);
        if (!decoded || decoded->header.request_id != requestId)
            return false;
        answer = *decoded;
        return true;
    };
    ZekWaitEnd end = ZekWaitEnd::TimedOut;
    while (end == ZekWaitEnd::TimedOut && !deadline.hasExpired()) {
        if (!socket.SendTo(request, device.address, device.port))
            return {ZEK_ERR_NETWORK, answer};
        end = socket.ReceiveUntil(std::min(QDeadlineTimer(kResendMs), deadline), stop, accept);
    }
    return {ZekWaitResult(end), answer};
}

ZekSessionRequest sessionRequest(const ZekDevice &device, quint8 type, quint32 requestId)
{
    ZekSessionRequest request{};
    request.header = MakeZekHeader(type, requestId);
    WriteText(request.target_ip, device.ipText);
    request.target_port = device.port;
    request.session = device.session;
    return request;
}
} // namespace

int32_t LoginZekDevice(ZekDevice &device, const char *ipAddress, quint16 port, const char *userId, const char *password,
                       const ZekStop &stop)
{
    LogoutZekDevice(device);
    const quint32 requestId = NewZekId();
    ZekLogin login{};
    login.header = MakeZekHeader(ZEK_LOGIN, requestId);
    WriteText(login.target_ip, callerText(ipAddress, sizeof login.target_ip));
    device.ipText = ReadText(login.target_ip);
    if (port == 0 || !ParseIPv4(device.ipText, device.address))
        return ZEK_ERR_INVALID_ARGUMENT;
    device.port = port;
    login.target_port = port;
    WriteText(login.user_id, callerText(userId, sizeof login.user_id));
    WriteZekProof(login.proof, requestId, callerText(password, kMaxPasswordBytes));

    const auto [result, answer] = exchange<ZekLoginAnswer>(device, EncodeZek(login), requestId, ZEK_LOGIN | ZEK_ANSWER,
                                                           stop);
    if (result != ZEK_OK)
        return result;
    device.reached = true;
    const int32_t status = deviceStatus(answer.header.status);
    if (status != ZEK_OK)
        return status;
    if (answer.session == 0)
        return ZEK_ERR_FAILED;
    device.session = answer.session;
    return ZEK_OK;
}

int32_t SendZekSessionCommand(ZekDevice &device, quint8 type, const ZekStop &stop)
{
    // Without an answer to the login there is no device to ask. After a refused login the
    // request still goes out, with no session, and the device refuses it.
    if (!device.reached)
        return ZEK_ERR_NOT_LOGGED_IN;
    const quint32 requestId = NewZekId();
    const auto [result, answer] = exchange<ZekStatusAnswer>(device, EncodeZek(sessionRequest(device, type, requestId)),
                                                            requestId, type | ZEK_ANSWER, stop);
    if (result != ZEK_OK)
        return result;
    const int32_t status = deviceStatus(answer.header.status);
    if (status == ZEK_OK)
        device.session = 0; // a restarting device forgets its sessions
    return status;
}

void LogoutZekDevice(ZekDevice &device)
{
    if (device.session != 0) {
        ZekSocket socket;
        if (socket.Open(kAnyAddress, 0))
            socket.SendTo(EncodeZek(sessionRequest(device, ZEK_LOGOUT, NewZekId())), device.address, device.port);
    }
    device.session = 0;
    device.reached = false;
}

int32_t ModifyZekNetwork(const char *userId, const char *password, const VendorNetworkConfig &config, int timeoutMs,
                         const ZekStop &stop)
{
    const QByteArray mac = ReadText(config.mac_addr);
    if (timeoutMs <= 0 || mac.isEmpty())
        return ZEK_ERR_INVALID_ARGUMENT;
    const QDeadlineTimer deadline(timeoutMs);
    const quint32 requestId = NewZekId();
    ZekModifyNetwork request{};
    request.header = MakeZekHeader(ZEK_MODIFY_NETWORK, requestId);
    WriteText(request.mac_addr, mac);
    WriteText(request.user_id, callerText(userId, sizeof request.user_id));
    WriteZekProof(request.proof, requestId, callerText(password, kMaxPasswordBytes));
    // The config's slots are as wide as the wire's; a slot without a NUL is cut to 15.
    WriteText(request.ip_addr, ReadText(config.ip_addr));
    WriteText(request.subnet_mask, ReadText(config.subnet_mask));
    WriteText(request.gateway, ReadText(config.gateway));
    WriteText(request.dns1, ReadText(config.dns1));
    WriteText(request.dns2, ReadText(config.dns2));
    request.mode = config.mode;

    // The device may sit in another subnet: the request and its answer are broadcasts.
    qint32 status = ZEK_ERR_FAILED;
    const auto accept = [&](const ZekDatagram &datagram) {
        const auto answer = DecodeZek<ZekModifyAnswer>(datagram.data, ZEK_MODIFY_NETWORK | ZEK_ANSWER);
        if (!answer || answer->header.request_id != requestId || ReadText(answer->mac_addr) != mac)
            return false;
        status = answer->header.status;
        return true;
    };
    const auto from = ZekSendAddresses(ReadText(config.host_ip));
    const ZekWaitEnd end = BroadcastAndCollect(from, EncodeZek(request), deadline, stop, accept);
    return end == ZekWaitEnd::Accepted ? deviceStatus(status) : ZekWaitResult(end);
}
