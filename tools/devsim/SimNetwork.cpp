#include "SimNetwork.h"

#include <QThread>

bool IsDottedQuad(const QByteArray &text)
{
    const auto parts = text.split('.');
    if (parts.size() != 4)
        return false;
    for (const QByteArray &part : parts) {
        bool ok = false;
        if (part.isEmpty() || part.size() > 3 || part.toUInt(&ok) > 255 || !ok)
            return false;
    }
    return true;
}

bool IsContiguousMask(const QByteArray &text)
{
    if (!IsDottedQuad(text))
        return false;
    const quint32 mask = QHostAddress(QString::fromLatin1(text)).toIPv4Address();
    return mask != 0 && (~mask & (~mask + 1)) == 0;
}

std::optional<QByteArray> SizeFault(const QString &kind, const QByteArray &valid)
{
    if (kind == QLatin1String("short"))
        return valid.left(100);
    if (kind == QLatin1String("long"))
        return valid + QByteArray(28, 'x');
    if (kind == QLatin1String("empty"))
        return QByteArray();
    return std::nullopt;
}

void SendPatiently(QUdpSocket &socket, const QByteArray &datagram, const QHostAddress &to, quint16 port)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (socket.writeDatagram(datagram, to, port) == datagram.size())
            return;
        QThread::usleep(200);
    }
}
