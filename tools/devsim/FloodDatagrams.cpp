#include "FloodDatagrams.h"

#include "CameraInfo.h"
#include "RecordText.h"
#include "SimDevice.h"
#include "ZekMessages.h"

#include <QHostAddress>

namespace {
QByteArray macWithPrefix(const char *prefix, int k)
{
    const QString tail = QString::asprintf(":%02X:%02X:%02X", (k >> 16) & 0xff, (k >> 8) & 0xff, k & 0xff);
    return QByteArray(prefix) + tail.toLatin1();
}

QByteArray reply(const QByteArray &mac, int k, qint32 cmd = CMD_SEARCH_REPLY, quint32 ipOffset = 0)
{
    SimDevice device;
    device.mac = mac;
    const quint32 ip = 0x0A4D0000u + static_cast<quint32>(k) + ipOffset; // 10.77.x.x
    device.ip = QHostAddress(ip).toString().toLatin1();
    CameraInfo info = SearchReply(device);
    info.header.cmd = cmd;
    return QByteArray(reinterpret_cast<const char *>(&info), sizeof info);
}

QByteArray vendorProbeAnswer(int k)
{
    ZekProbeAnswer answer{};
    answer.header = MakeZekHeader(ZEK_PROBE | ZEK_ANSWER, static_cast<quint32>(k) + 1);
    WriteText(answer.mac_addr, macWithPrefix("02:F8:00", k));
    WriteText(answer.ip_addr, "10.77.1.2");
    return EncodeZek(answer);
}
} // namespace

QByteArray FloodDeviceMac(int k)
{
    return macWithPrefix("02:F1:00", k);
}

QList<QByteArray> FloodDatagrams(int count)
{
    QList<QByteArray> datagrams;
    datagrams.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int k = i / 10;
        switch (i % 10) {
        case 0: datagrams.append(reply(FloodDeviceMac(k), k)); break;
        case 1: datagrams.append(reply(FloodDeviceMac(k), k, CMD_SEARCH_REPLY, 0x100000)); break;
        case 2: datagrams.append(reply(FloodDeviceMac(k), k).left(100)); break;
        case 3: datagrams.append(QByteArray()); break;
        case 4: datagrams.append(reply(macWithPrefix("02:F4:00", k), k) + QByteArray(28, 'x')); break;
        case 5: datagrams.append(reply(macWithPrefix("02:F5:00", k), k, 9)); break;
        case 6: datagrams.append(reply(macWithPrefix("02:F6:00", k), k, CMD_SET_NETWORK)); break;
        case 7: datagrams.append(reply(macWithPrefix("02:F7:00", k), k, CMD_SEARCH_REQUEST)); break;
        case 8: datagrams.append(vendorProbeAnswer(k)); break;
        default: datagrams.append(QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n\r\n"));
        }
    }
    return datagrams;
}
