#include "CTalbrixReceveSocket.h"

#include <QElapsedTimer>
#include <QPointer>

#include <algorithm>
#include <cstring>

namespace {
void setIntOption(NativeSocket s, int option, int value)
{
    ::setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value);
}
} // namespace

CTalbrixReceveSocket::CTalbrixReceveSocket(QHostAddress address, quint16 port, int receiveBufferBytes, QObject *parent)
    : QObject(parent)
    , m_address(std::move(address))
    , m_port(port)
    , m_receiveBufferBytes(receiveBufferBytes)
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
    StartSockets();
    const NativeSocket s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == kInvalidSocket) {
        StopSockets();
        return false;
    }
#ifdef _WIN32
    // Without it Windows lets another program bind the port too and take our datagrams.
    setIntOption(s, SO_EXCLUSIVEADDRUSE, 1);
#endif
    // No SO_REUSEADDR: a second program on the port makes bind() fail.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(m_address.toIPv4Address());
    local.sin_port = htons(m_port);
    if (::bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 || !SetNonBlocking(s)) {
        CloseNativeSocket(s);
        StopSockets();
        return false;
    }
    m_socket = s;

    setIntOption(s, SO_RCVBUF, m_receiveBufferBytes);
#ifdef SO_RCVBUFFORCE
    // The kernel caps SO_RCVBUF at twice net.core.rmem_max; a privileged process may go past it.
    if (ReceiveBufferSize() < m_receiveBufferBytes)
        setIntOption(s, SO_RCVBUFFORCE, m_receiveBufferBytes);
#endif
    if (ReceiveBufferSize() < m_receiveBufferBytes)
        qWarning("Receive buffer holds %d bytes, not %d: a large site's answers may be lost. To allow more, as root: "
                 "sysctl -w net.core.rmem_max=%d",
                 ReceiveBufferSize(), m_receiveBufferBytes, m_receiveBufferBytes);

    m_receiver = std::make_unique<DatagramReceiver>(s, [this] {
        QMetaObject::invokeMethod(this, &CTalbrixReceveSocket::ScheduleHandOver, Qt::QueuedConnection);
    });
    return true;
}

void CTalbrixReceveSocket::Close()
{
    // The thread stops before the socket goes: it never reads a closed (or reused) descriptor.
    m_receiver.reset();
    m_handOverTimer.stop();
    m_ready.clear();
    if (m_socket != kInvalidSocket) {
        CloseNativeSocket(m_socket);
        m_socket = kInvalidSocket;
        StopSockets();
    }
}

bool CTalbrixReceveSocket::IsOpen() const
{
    return m_socket != kInvalidSocket;
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
    return datagram.data.size();
}

int CTalbrixReceveSocket::ReceiveBufferSize() const
{
    if (!IsOpen())
        return -1;
    int bytes = 0;
    socklen_t size = sizeof bytes;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&bytes), &size) != 0)
        return -1;
    return bytes;
}

quint16 CTalbrixReceveSocket::LocalPort() const
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (!IsOpen() || ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
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
