#include "ZekBroadcast.h"

#include "AdapterEnumeration.h"
#include "ZekSocket.h"

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
