#include "SocketGroup.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <cstring>

#ifdef __linux__
#include <linux/filter.h>
#include <linux/sock_diag.h>
#include <sys/un.h>
#endif

namespace {
void setIntOption(NativeSocket s, int option, int value)
{
    ::setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value);
}

void closeAll(std::vector<NativeSocket> &sockets)
{
    for (const NativeSocket s : sockets)
        CloseNativeSocket(s);
    sockets.clear();
}

bool bindTo(NativeSocket s, quint32 address, quint16 port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    return ::bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 && SetNonBlocking(s);
}

void setReceiveBuffer(NativeSocket s, int bytes, bool force)
{
    if (bytes <= 0)
        return;
    // Set after bind(): set before, it is ignored.
    setIntOption(s, SO_RCVBUF, bytes);
    if (!force)
        return;
#ifdef SO_RCVBUFFORCE
    // The kernel caps SO_RCVBUF at twice net.core.rmem_max; a privileged process may go past it.
    int granted = 0;
    socklen_t size = sizeof granted;
    ::getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&granted), &size);
    if (granted < bytes)
        setIntOption(s, SO_RCVBUFFORCE, bytes);
    ::getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&granted), &size);
    static std::atomic_flag told = ATOMIC_FLAG_INIT; // once per process, not once per socket
    if (granted < bytes && !told.test_and_set())
        qWarning("Receive buffer holds %d bytes, not %d: more answers of a large site wait for a repeat. To allow "
                 "more, as root: sysctl -w net.core.rmem_max=%d",
                 granted, bytes, bytes);
#endif
}

// The share arithmetic, shared by the filters (as classic BPF) and ShareOf().
constexpr quint32 kMultipliers[] = {1, 3, 7, 13, 31, 61, 127, 251};
constexpr quint32 kMixShift = 3;

#ifdef __linux__
// A classic BPF program that computes the share of the datagram at payload offset base; it then
// returns the share (steering, keep < 0) or keeps the datagram only in share keep.
std::vector<sock_filter> shareProgram(const std::vector<int> &bytes, int shares, int base, int keep)
{
    const int need = *std::max_element(bytes.begin(), bytes.end()) + 1;
    const bool steering = keep < 0;
    // Too short to carry the bytes (a stray datagram): share 0.
    const quint32 shortResult = steering ? 0u : (keep == 0 ? 0xffffffffu : 0u);
    std::vector<sock_filter> p{
        BPF_STMT(BPF_LD | BPF_W | BPF_LEN, 0),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, static_cast<quint32>(base + need), 1, 0),
        BPF_STMT(BPF_RET | BPF_K, shortResult),
        BPF_STMT(BPF_LD | BPF_IMM, 0),
        BPF_STMT(BPF_ST, 0),
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        p.push_back(BPF_STMT(BPF_LD | BPF_B | BPF_ABS, static_cast<quint32>(base + bytes[i])));
        p.push_back(BPF_STMT(BPF_ALU | BPF_MUL | BPF_K, kMultipliers[i % std::size(kMultipliers)]));
        p.push_back(BPF_STMT(BPF_LDX | BPF_MEM, 0));
        p.push_back(BPF_STMT(BPF_ALU | BPF_ADD | BPF_X, 0));
        p.push_back(BPF_STMT(BPF_ST, 0));
    }
    p.push_back(BPF_STMT(BPF_MISC | BPF_TAX, 0));
    p.push_back(BPF_STMT(BPF_ALU | BPF_RSH | BPF_K, kMixShift));
    p.push_back(BPF_STMT(BPF_ALU | BPF_XOR | BPF_X, 0));
    p.push_back(BPF_STMT(BPF_ALU | BPF_MOD | BPF_K, static_cast<quint32>(shares)));
    if (steering) {
        p.push_back(BPF_STMT(BPF_RET | BPF_A, 0));
    } else {
        p.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<quint32>(keep), 0, 1));
        p.push_back(BPF_STMT(BPF_RET | BPF_K, 0xffffffffu));
        p.push_back(BPF_STMT(BPF_RET | BPF_K, 0));
    }
    return p;
}

bool attach(NativeSocket s, int option, std::vector<sock_filter> program)
{
    sock_fprog fprog{static_cast<unsigned short>(program.size()), program.data()};
    return ::setsockopt(s, SOL_SOCKET, option, &fprog, sizeof fprog) == 0;
}

// A name in the network namespace's abstract socket space: a second group of ours on the port
// cannot bind it, and the kernel frees it with the process.
int takeGuard(quint16 port)
{
    const int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    const QByteArray text = "corvane-udp-port-" + QByteArray::number(port);
    std::memcpy(name.sun_path + 1, text.constData(), static_cast<std::size_t>(text.size()));
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + text.size());
    if (::bind(s, reinterpret_cast<const sockaddr *>(&name), length) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// A UDP socket's payload starts after its 8-byte header in a socket filter; a steering program
// sees the payload at 0.
constexpr int kUdpHeaderBytes = 8;
#endif
} // namespace

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
    // Port 0 would give every socket a port of its own: a group needs the port named.
    if (options.sockets > 1 && !options.shareBytes.empty() && port != 0) {
        const GroupResult result = OpenGroup(address, port, options);
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
        setIntOption(s, SO_REUSEADDR, 1);
    } else {
#ifdef _WIN32
        // Without it Windows lets another program bind the port too and take our datagrams.
        setIntOption(s, SO_EXCLUSIVEADDRUSE, 1);
#endif
        // No SO_REUSEADDR: a second program on the port makes bind() fail.
    }
    if (!bindTo(s, address, port)) {
        CloseNativeSocket(s);
        StopSockets();
        return false;
    }
    setReceiveBuffer(s, options.receiveBufferBytes, options.forceReceiveBuffer);
    m_sockets.push_back(s);
    return true;
}

SocketGroup::GroupResult SocketGroup::OpenGroup(quint32 address, quint16 port, const Options &options)
{
#ifdef __linux__
    if (options.exclusive && (m_guard = takeGuard(port)) < 0)
        return GroupResult::Taken;
    const int shares = options.sockets;
    // The filters of the counting socket and of every share, in the order they join the port:
    // a steering program's result is a socket's index in that order.
    std::vector<NativeSocket> opened;
    bool taken = false;
    for (int k = 0; k <= shares; ++k) {
        const NativeSocket s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
        if (s == kInvalidSocket)
            break;
        opened.push_back(s);
        setIntOption(s, SO_REUSEPORT, 1);
        if (options.shareWithOthers)
            setIntOption(s, SO_REUSEADDR, 1);
        const bool counter = k == shares;
        const bool filtered = counter ? attach(s, SO_ATTACH_FILTER, {BPF_STMT(BPF_RET | BPF_K, 0)})
                                      : attach(s, SO_ATTACH_FILTER,
                                               shareProgram(options.shareBytes, shares, kUdpHeaderBytes, k));
        if (!filtered)
            break;
        if (!bindTo(s, address, port)) {
            taken = k == 0;
            break;
        }
        if (k == 0 && !attach(s, SO_ATTACH_REUSEPORT_CBPF, shareProgram(options.shareBytes, shares, 0, -1)))
            break;
        if (counter) {
            m_counter = s;
            opened.pop_back();
            m_sockets = std::move(opened);
            for (const NativeSocket kept : m_sockets)
                setReceiveBuffer(kept, options.receiveBufferBytes, options.forceReceiveBuffer);
            return GroupResult::Opened;
        }
    }
    closeAll(opened);
    if (m_guard >= 0) {
        ::close(m_guard);
        m_guard = -1;
    }
    // Taken: a plain socket must not be tried, the port is someone else's.
    return taken ? GroupResult::Taken : GroupResult::Unsupported;
#else
    Q_UNUSED(address)
    Q_UNUSED(port)
    Q_UNUSED(options)
    return GroupResult::Unsupported;
#endif
}

void SocketGroup::Close()
{
    const bool wasOpen = IsOpen();
    closeAll(m_sockets);
    if (m_counter != kInvalidSocket) {
        CloseNativeSocket(m_counter);
        m_counter = kInvalidSocket;
    }
#ifdef __linux__
    if (m_guard >= 0) {
        ::close(m_guard);
        m_guard = -1;
    }
#endif
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

qint64 SocketDrops(NativeSocket socket)
{
#if defined(__linux__) && defined(SO_MEMINFO)
    quint32 counts[SK_MEMINFO_VARS + 8] = {};
    socklen_t size = sizeof counts;
    if (::getsockopt(socket, SOL_SOCKET, SO_MEMINFO, counts, &size) != 0 || size <= SK_MEMINFO_DROPS * sizeof(quint32))
        return -1;
    return counts[SK_MEMINFO_DROPS];
#else
    Q_UNUSED(socket)
    return -1;
#endif
}
