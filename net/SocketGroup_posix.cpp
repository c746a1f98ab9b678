#include "SocketGroup.h"

#include "NativeSocket.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

#include <linux/filter.h>
#include <linux/sock_diag.h>
#include <sys/un.h>
#include <unistd.h>

// The group proper, on Linux: SO_REUSEPORT, socket filters, an abstract socket as the port's
// guard, SO_MEMINFO for the drops.
namespace {
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
        p.push_back(
            BPF_STMT(BPF_ALU | BPF_MUL | BPF_K, SocketGroup::kMultipliers[i % std::size(SocketGroup::kMultipliers)]));
        p.push_back(BPF_STMT(BPF_LDX | BPF_MEM, 0));
        p.push_back(BPF_STMT(BPF_ALU | BPF_ADD | BPF_X, 0));
        p.push_back(BPF_STMT(BPF_ST, 0));
    }
    p.push_back(BPF_STMT(BPF_MISC | BPF_TAX, 0));
    p.push_back(BPF_STMT(BPF_ALU | BPF_RSH | BPF_K, SocketGroup::kMixShift));
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
} // namespace

SocketGroup::GroupResult SocketGroup::OpenGroup(quint32 address, quint16 port, const Options &options)
{
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
        SetSocketOption(s, SO_REUSEPORT, 1);
        if (options.shareWithOthers)
            SetSocketOption(s, SO_REUSEADDR, 1);
        const bool counter = k == shares;
        const bool filtered = counter ? attach(s, SO_ATTACH_FILTER, {BPF_STMT(BPF_RET | BPF_K, 0)})
                                      : attach(s, SO_ATTACH_FILTER,
                                               shareProgram(options.shareBytes, shares, kUdpHeaderBytes, k));
        if (!filtered)
            break;
        if (!BindTo(s, address, port)) {
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
                EnlargeReceiveBuffer(kept, options.receiveBufferBytes, options.forceReceiveBuffer);
            return GroupResult::Opened;
        }
    }
    CloseAll(opened);
    CloseGuard();
    // Taken: a plain socket must not be tried, the port is someone else's.
    return taken ? GroupResult::Taken : GroupResult::Unsupported;
}

void SocketGroup::CloseGuard()
{
    if (m_guard >= 0) {
        ::close(m_guard);
        m_guard = -1;
    }
}

qint64 SocketDrops(NativeSocket socket)
{
    quint32 counts[SK_MEMINFO_VARS + 8] = {};
    socklen_t size = sizeof counts;
    if (::getsockopt(socket, SOL_SOCKET, SO_MEMINFO, counts, &size) != 0 || size <= SK_MEMINFO_DROPS * sizeof(quint32))
        return -1;
    return counts[SK_MEMINFO_DROPS];
}

SocketGroup::GroupResult SocketGroup::OpenUnicastGroup(quint32 address, quint16 port, const Options &options)
{
    // With port 0 the first socket takes a free port; SO_REUSEPORT then lets a socket of another
    // such group of ours land on it too, so the port's guard is taken (when exclusive) and, when
    // it is another group's, the next free port is tried.
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::vector<NativeSocket> opened;
        quint16 bound = port;
        bool ok = true;
        bool taken = false;
        for (int k = 0; ok && k < options.sockets; ++k) {
            const NativeSocket s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
            if (s == kInvalidSocket) {
                ok = false;
                break;
            }
            opened.push_back(s);
            SetSocketOption(s, SO_REUSEPORT, 1);
            if (options.shareWithOthers)
                SetSocketOption(s, SO_REUSEADDR, 1);
            if (!BindTo(s, address, bound)) {
                ok = false;
                taken = k == 0;
                break;
            }
            if (k == 0) {
                sockaddr_in local{};
                socklen_t size = sizeof local;
                if (::getsockname(s, reinterpret_cast<sockaddr *>(&local), &size) != 0) {
                    ok = false;
                    break;
                }
                bound = ntohs(local.sin_port);
                if (options.exclusive && (m_guard = takeGuard(bound)) < 0) {
                    ok = false;
                    taken = true;
                    break;
                }
            }
        }
        if (ok) {
            m_sockets = std::move(opened);
            for (const NativeSocket kept : m_sockets)
                EnlargeReceiveBuffer(kept, options.receiveBufferBytes, options.forceReceiveBuffer);
            return GroupResult::Opened;
        }
        CloseAll(opened);
        CloseGuard();
        if (!taken)
            return GroupResult::Unsupported;
        if (port != 0)
            return GroupResult::Taken; // the port named is someone else's
    }
    return GroupResult::Taken;
}
