#include "SocketGroup.h"

#include "NativeSocket.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

void SocketGroup::CloseAll(std::vector<NativeSocket> &sockets)
{
    for (const NativeSocket s : sockets)
        CloseNativeSocket(s);
    sockets.clear();
}

bool SocketGroup::BindTo(NativeSocket s, quint32 address, quint16 port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    return ::bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 && SetNonBlocking(s);
}

SocketGroup::~SocketGroup()
{
    Close();
}

bool SocketGroup::Open(quint32 address, quint16 port, const Options &options)
{
    if (IsOpen())
        return false;
    StartSockets();
    m_shareBytes = options.shareBytes;
    // Port 0 would give every socket a port of its own: a group needs the port named, unless
    // its first socket takes one for all (unicastBySender).
    if (options.sockets > 1 && (options.unicastBySender || (!options.shareBytes.empty() && port != 0))) {
        const GroupResult result = options.unicastBySender ? OpenUnicastGroup(address, port, options)
                                                           : OpenGroup(address, port, options);
        if (result != GroupResult::Unsupported) {
            if (result == GroupResult::Taken)
                StopSockets();
            return result == GroupResult::Opened;
        }
    }
    m_shareBytes.clear();

    const NativeSocket s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == kInvalidSocket) {
        StopSockets();
        return false;
    }
    if (options.shareWithOthers) {
        SetSocketOption(s, SO_REUSEADDR, 1);
    } else {
        // No SO_REUSEADDR: a second program on the port makes bind() fail.
        ClaimPortExclusively(s);
    }
    if (!BindTo(s, address, port)) {
        CloseNativeSocket(s);
        StopSockets();
        return false;
    }
    EnlargeReceiveBuffer(s, options.receiveBufferBytes, options.forceReceiveBuffer);
    m_sockets.push_back(s);
    return true;
}

void SocketGroup::Close()
{
    const bool wasOpen = IsOpen();
    CloseAll(m_sockets);
    if (m_counter != kInvalidSocket) {
        CloseNativeSocket(m_counter);
        m_counter = kInvalidSocket;
    }
    CloseGuard();
    if (wasOpen)
        StopSockets();
}

int SocketGroup::ReceiveBufferSize() const
{
    if (!IsOpen())
        return -1;
    int bytes = 0;
    socklen_t size = sizeof bytes;
    if (::getsockopt(m_sockets.front(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&bytes), &size) != 0)
        return -1;
    return bytes;
}

quint16 SocketGroup::Port() const
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (!IsOpen() || ::getsockname(m_sockets.front(), reinterpret_cast<sockaddr *>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
}

std::vector<qint64> SocketGroup::KernelDrops() const
{
    std::vector<qint64> drops;
    for (const NativeSocket s : m_sockets)
        drops.push_back(SocketDrops(s));
    if (m_counter != kInvalidSocket)
        drops.push_back(SocketDrops(m_counter));
    if (std::find(drops.begin(), drops.end(), -1) != drops.end())
        drops.clear();
    return drops;
}

qint64 SocketGroup::Overflows() const
{
    const std::vector<qint64> drops = KernelDrops();
    if (drops.empty())
        return -1;
    qint64 total = 0;
    for (std::size_t k = 0; k < m_sockets.size(); ++k)
        total += drops[k];
    if (m_counter == kInvalidSocket)
        return total;
    // Each broadcast was turned away by every filter but one, and counted once by the counter.
    const qint64 broadcasts = drops.back();
    return std::max<qint64>(0, total - broadcasts * static_cast<qint64>(m_sockets.size() - 1));
}

int SocketGroup::ShareOf(QByteArrayView payload) const
{
    if (m_shareBytes.empty() || m_sockets.size() < 2)
        return 0;
    const int need = *std::max_element(m_shareBytes.begin(), m_shareBytes.end()) + 1;
    if (payload.size() < need)
        return 0;
    quint32 h = 0;
    for (std::size_t i = 0; i < m_shareBytes.size(); ++i)
        h += static_cast<quint8>(payload[m_shareBytes[i]]) * kMultipliers[i % std::size(kMultipliers)];
    h ^= h >> kMixShift;
    return static_cast<int>(h % static_cast<quint32>(m_sockets.size()));
}
