#include "CTalbrixReceveSocket.h"

#include "NativeSocket.h"

#include <QElapsedTimer>
#include <QPointer>

#include <algorithm>
#include <cstring>

namespace {
// The bytes of an answer's MAC text ("00:1A:2B:3C:4D:5E") that choose its socket.
const std::vector<int> kMacShareBytes{72 + 9, 72 + 10, 72 + 12, 72 + 13, 72 + 15, 72 + 16};
} // namespace

CTalbrixReceveSocket::CTalbrixReceveSocket(QHostAddress address, quint16 port, int receiveBufferBytes, int sockets,
                                           QObject *parent)
    : QObject(parent)
    , m_address(std::move(address))
    , m_port(port)
    , m_receiveBufferBytes(receiveBufferBytes)
    , m_sockets(sockets)
{
    m_handOverTimer.setSingleShot(true);
    m_handOverTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_handOverTimer, &QTimer::timeout, this, &CTalbrixReceveSocket::OnReceive);
}

CTalbrixReceveSocket::~CTalbrixReceveSocket()
{
    Close();
}

bool CTalbrixReceveSocket::Create()
{
    if (IsOpen() || m_address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    SocketGroup::Options options;
    options.sockets = m_sockets;
    options.receiveBufferBytes = m_receiveBufferBytes;
    options.shareBytes = kMacShareBytes;
    options.forceReceiveBuffer = true;
    // Exclusive: a second program on the port makes this fail.
    if (!m_group.Open(m_address.toIPv4Address(), m_port, options))
        return false;
    m_receiver = std::make_unique<DatagramReceiver>(m_group.Sockets(), [this] {
        QMetaObject::invokeMethod(this, &CTalbrixReceveSocket::ScheduleHandOver, Qt::QueuedConnection);
    });
    return true;
}

void CTalbrixReceveSocket::Close()
{
    // The thread stops before the sockets go: it never reads a closed (or reused) descriptor.
    m_receiver.reset();
    m_handOverTimer.stop();
    m_ready.clear();
    m_group.Close();
}

bool CTalbrixReceveSocket::IsOpen() const
{
    return m_group.IsOpen();
}

qint64 CTalbrixReceveSocket::ReceiveFrom(char *buffer, qint64 bufferSize, QString *senderAddress, quint16 *senderPort)
{
    if (!IsOpen())
        return -1;
    if (m_ready.empty())
        m_receiver->Take(m_ready);
    if (m_ready.empty())
        return -1;
    const ReceivedDatagram datagram = std::move(m_ready.front());
    m_ready.pop_front();
    ++m_datagramsRead;
    if (datagram.failed)
        return -1;
    const qint64 copied = std::clamp<qint64>(datagram.data.size(), 0, std::max<qint64>(bufferSize, 0));
    if (copied > 0)
        std::memcpy(buffer, datagram.data.constData(), static_cast<size_t>(copied));
    if (senderAddress)
        *senderAddress = QHostAddress(datagram.address).toString();
    if (senderPort)
        *senderPort = datagram.port;
    return datagram.size;
}

int CTalbrixReceveSocket::ReceiveBufferSize() const
{
    return m_group.ReceiveBufferSize();
}

quint16 CTalbrixReceveSocket::LocalPort() const
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (!IsOpen() || ::getsockname(m_group.Sockets().front(), reinterpret_cast<sockaddr *>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
}

qint64 CTalbrixReceveSocket::LastArrivalNs() const
{
    return m_receiver ? m_receiver->LastArrivalNs() : 0;
}

qint64 CTalbrixReceveSocket::DatagramsReceived() const
{
    return m_receiver ? m_receiver->Received() : 0;
}

void CTalbrixReceveSocket::ScheduleHandOver()
{
    if (!IsOpen() || m_handOverTimer.isActive())
        return;
    const qint64 since = m_lastHandOver.isValid() ? m_lastHandOver.elapsed() : kHandOverIntervalMs;
    m_handOverTimer.start(static_cast<int>(std::max<qint64>(0, kHandOverIntervalMs - since)));
}

void CTalbrixReceveSocket::OnReceive()
{
    // A handler's nested event loop (a message box) comes back here: the outer call goes on
    // once that handler has returned, so datagrams stay in order.
    if (m_handingOver)
        return;
    const QPointer<CTalbrixReceveSocket> self(this);
    m_handingOver = true;
    m_lastHandOver.start();
    while (IsOpen()) {
        if (m_ready.empty())
            m_receiver->Take(m_ready);
        if (m_ready.empty())
            break;
        if (m_lastHandOver.elapsed() >= kHandOverSliceMs) {
            ScheduleHandOver(); // the rest after the thread's other events
            break;
        }
        const quint64 before = m_datagramsRead;
        Q_EMIT receivePacket();
        if (!self)
            return; // the owner deleted us
        if (m_datagramsRead == before)
            break; // the owner left it unread: do not spin
    }
    m_handingOver = false;
}
