#include "ZekBroadcast.h"

#include "AdapterEnumeration.h"
#include "SearchRepeater.h"
#include "ZekMessages.h"

QList<quint32> ZekSendAddresses(QByteArrayView preferred)
{
    quint32 wanted = 0;
    const bool hasWanted = ParseIPv4(preferred, wanted);
    QList<quint32> addresses;
    const auto interfaces = SystemInterfaces();
    for (const HostInterface &host : interfaces) {
        bool first = true;
        for (const QHostAddress &address : host.addresses) {
            if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback())
                continue;
            const quint32 ipv4 = address.toIPv4Address();
            if (hasWanted && ipv4 == wanted)
                return {wanted};
            if (first)
                addresses.append(ipv4);
            first = false;
        }
    }
    return addresses;
}

bool BroadcastZek(const QList<quint32> &fromAddresses, QByteArrayView data, quint16 port)
{
    bool sent = false;
    for (const quint32 from : fromAddresses) {
        ZekSocket socket;
        if (socket.Open(from, 0) && socket.SendTo(data, kBroadcastAddress, port))
            sent = true;
    }
    return sent;
}

ZekWaitEnd BroadcastAndCollect(const QList<quint32> &fromAddresses, QByteArrayView request,
                               const QDeadlineTimer &deadline, const ZekStop &stop,
                               const std::function<bool(const ZekDatagram &)> &accept, bool askAgainOnDrops)
{
    // Listen before sending: the first answers come within a millisecond.
    ZekSocket answers;
    if (!answers.Open(kAnyAddress, ZEK_CLIENT_PORT, true) || !BroadcastZek(fromAddresses, request, ZEK_DEVICE_PORT))
        return ZekWaitEnd::Failed;
    if (!askAgainOnDrops)
        return answers.ReceiveUntil(deadline, stop, accept);
    SearchRepeatPolicy repeats;
    repeats.Sent(answers.Overflows());
    const auto whenQuiet = [&] {
        if (!repeats.ShouldRepeat(answers.Overflows()))
            return;
        BroadcastZek(fromAddresses, request, ZEK_DEVICE_PORT);
        repeats.Sent(answers.Overflows());
    };
    return answers.ReceiveUntil(deadline, stop, accept, whenQuiet, SearchRepeater::kQuietMs);
}

int32_t ZekWaitResult(ZekWaitEnd end)
{
    switch (end) {
    case ZekWaitEnd::Accepted: return ZEK_OK;
    case ZekWaitEnd::TimedOut: return ZEK_ERR_TIMEOUT;
    case ZekWaitEnd::Stopped: return ZEK_ERR_CANCELLED;
    case ZekWaitEnd::Failed: break;
    }
    return ZEK_ERR_NETWORK;
}
