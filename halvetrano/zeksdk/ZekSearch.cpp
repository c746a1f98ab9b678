#include "ZekSearch.h"

#include "RecordText.h"
#include "ZekBroadcast.h"

#include <QSet>

namespace {
template<std::size_t To, std::size_t From>
void copyText(char (&to)[To], const char (&from)[From])
{
    static_assert(To >= From, "a wire field must fit its slot");
    WriteText(to, ReadText(from));
}
} // namespace

VendorDeviceInfo ToVendorDeviceInfo(const ZekProbeAnswer &answer)
{
    VendorDeviceInfo info{};
    copyText(info.ip_addr, answer.ip_addr);
    info.media_port = answer.media_port;
    info.web_port = answer.web_port;
    copyText(info.subnet_mask, answer.subnet_mask);
    copyText(info.gateway, answer.gateway);
    copyText(info.mac_addr, answer.mac_addr);
    copyText(info.dns1, answer.dns1);
    copyText(info.dns2, answer.dns2);
    copyText(info.device_type, answer.device_type);
    copyText(info.device_model, answer.device_model);
    return info;
}

int32_t RunZekSearch(const ZekCallback &callback, int32_t callbackHandle, int searchTimeMs, const ZekStop &stop)
{
    const QDeadlineTimer deadline(searchTimeMs, Qt::PreciseTimer);
    // Each search has its own id; answers to another search's probe are not ours.
    const quint32 requestId = NewZekId();
    const QByteArray probe = EncodeZek(ZekProbe{MakeZekHeader(ZEK_PROBE, requestId)});
    QSet<QByteArray> reported;
    const auto report = [&](const ZekDatagram &datagram) {
        const auto answer = DecodeZek<ZekProbeAnswer>(datagram.data, ZEK_PROBE | ZEK_ANSWER);
        if (!answer || answer->header.request_id != requestId)
            return false;
        const QByteArray mac = ReadText(answer->mac_addr);
        if (mac.isEmpty() || reported.contains(mac))
            return false;
        reported.insert(mac);
        if (!callback.alive || stop.Requested())
            return false;
        const VendorDeviceInfo info = ToVendorDeviceInfo(*answer);
        callback.function(callbackHandle, ZEK_EVENT_DEVICE_FOUND, static_cast<int32_t>(sizeof info),
                          reinterpret_cast<intptr_t>(&info), callback.user);
        return false;
    };
    const ZekWaitEnd end = BroadcastAndCollect(ZekSendAddresses(), probe, deadline, stop, report, true);
    return end == ZekWaitEnd::TimedOut ? ZEK_OK : ZekWaitResult(end);
}
