#include "CTalbrixReceveSocket.h"

#include "NativeSocket.h"

#include <QNetworkDatagram>
#include <QVariant>

#include <algorithm>
#include <cstring>

CTalbrixReceveSocket::CTalbrixReceveSocket(QHostAddress address, quint16 port, int receiveBufferBytes,
                                           QObject *parent)
    : QObject(parent)
    , m_address(std::move(address))
    , m_port(port)
    , m_receiveBufferBytes(receiveBufferBytes)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &CTalbrixReceveSocket::OnReceive);
}

bool CTalbrixReceveSocket::Create()
{
    if (!m_socket.bind(m_address, m_port, QAbstractSocket::DontShareAddress))
        return false;

    // Set after bind(): set before, Qt's socket does not exist yet and the size is lost.
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, m_receiveBufferBytes);
#ifdef SO_RCVBUFFORCE
    // The kernel caps SO_RCVBUF at twice net.core.rmem_max; a privileged process may go past it.
    if (ReceiveBufferSize() < m_receiveBufferBytes) {
        const int bytes = m_receiveBufferBytes;
        ::setsockopt(static_cast<NativeSocket>(m_socket.socketDescriptor()), SOL_SOCKET, SO_RCVBUFFORCE, &bytes,
                     sizeof bytes);
    }
#endif
    return true;
}

void CTalbrixReceveSocket::Close()
{
    m_socket.close();
}

bool CTalbrixReceveSocket::IsOpen() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

qint64 CTalbrixReceveSocket::ReceiveFrom(char *buffer, qint64 bufferSize, QString *senderAddress, quint16 *senderPort)
{
    if (!IsOpen() || !m_socket.hasPendingDatagrams())
        return -1;
    // receiveDatagram() reads the whole datagram, so an oversized one shows its real length
    // instead of being cut silently to the buffer.
    const QNetworkDatagram datagram = m_socket.receiveDatagram();
    ++m_datagramsRead;
    if (!datagram.isValid())
        return -1;
    const QByteArray data = datagram.data();
    std::memcpy(buffer, data.constData(), static_cast<size_t>(std::min<qint64>(data.size(), bufferSize)));
    if (senderAddress)
        *senderAddress = datagram.senderAddress().toString();
    if (senderPort)
        *senderPort = static_cast<quint16>(datagram.senderPort());
    return data.size();
}

int CTalbrixReceveSocket::ReceiveBufferSize() const
{
    return m_socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
}

quint16 CTalbrixReceveSocket::LocalPort() const
{
    return m_socket.localPort();
}

void CTalbrixReceveSocket::OnReceive()
{
    // readyRead comes again only after a read, so hand over every waiting datagram now.
    // Stop if the owner left one unread or closed the socket, or this would spin.
    while (IsOpen() && m_socket.hasPendingDatagrams()) {
        const quint64 before = m_datagramsRead;
        Q_EMIT receivePacket();
        if (m_datagramsRead == before)
            break;
    }
}
