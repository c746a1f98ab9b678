#include "SimAddresses.h"

#include "SimNetwork.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#ifdef __linux__
#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

QNetworkInterface NamespaceInterface()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        if (nic.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = nic.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return nic;
        }
    }
    return {};
}

#ifdef __linux__
namespace {
// Where answers leave. The device addresses live on the loopback, which a broadcast from them
// would otherwise take.
int outgoingInterface()
{
    static const int index = NamespaceInterface().index();
    return index;
}
} // namespace
#endif

bool SimAddresses::Load(QString &error)
{
    if (m_interfaceIndex != 0)
        return true;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        const auto entries = nic.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            m_local.insert(ip.toString().toLatin1());
            if (ip.isLoopback() && m_interfaceIndex == 0)
                m_interfaceIndex = nic.index();
        }
    }
    if (m_interfaceIndex == 0)
        error = QStringLiteral("no loopback interface to add device addresses to");
    return m_interfaceIndex != 0;
}

#ifdef __linux__
namespace {
// Adds (RTM_NEWROUTE) or removes (RTM_DELROUTE) a local /32 route on interfaceIndex for each address.
bool changeLocalRoutes(quint16 type, const QList<quint32> &addresses, int interfaceIndex, QString &error)
{
    const int s = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (s < 0) {
        error = QStringLiteral("netlink: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct Request
    {
        nlmsghdr header;
        rtmsg route;
        rtattr destinationAttribute;
        in_addr destination;
        rtattr interfaceAttribute;
        int interfaceIndex;
    };
    const auto flags = static_cast<quint16>(
        type == RTM_NEWROUTE ? NLM_F_REQUEST | NLM_F_CREATE | NLM_F_REPLACE | NLM_F_ACK : NLM_F_REQUEST | NLM_F_ACK);
    // Requests go in batches, each acknowledged, so that one full socket buffer never stalls us.
    constexpr qsizetype kBatch = 256;
    bool ok = true;
    for (qsizetype first = 0; ok && first < addresses.size(); first += kBatch) {
        std::vector<Request> batch;
        for (qsizetype i = first; i < std::min(addresses.size(), first + kBatch); ++i) {
            Request r{};
            r.header.nlmsg_len = sizeof r;
            r.header.nlmsg_type = type;
            r.header.nlmsg_flags = flags;
            r.header.nlmsg_seq = static_cast<quint32>(i + 1);
            r.route.rtm_family = AF_INET;
            r.route.rtm_dst_len = 32;
            r.route.rtm_table = RT_TABLE_LOCAL;
            r.route.rtm_protocol = RTPROT_STATIC;
            r.route.rtm_scope = RT_SCOPE_HOST;
            r.route.rtm_type = RTN_LOCAL;
            r.destinationAttribute = {RTA_LENGTH(sizeof(in_addr)), RTA_DST};
            r.destination.s_addr = htonl(addresses[i]);
            r.interfaceAttribute = {RTA_LENGTH(sizeof(int)), RTA_OIF};
            r.interfaceIndex = interfaceIndex;
            batch.push_back(r);
        }
        const auto bytes = static_cast<ssize_t>(batch.size() * sizeof(Request));
        if (::send(s, batch.data(), static_cast<size_t>(bytes), 0) != bytes) {
            error = QStringLiteral("netlink: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            ok = false;
            break;
        }
        std::size_t acknowledged = 0;
        char buffer[16384];
        while (ok && acknowledged < batch.size()) {
            const ssize_t received = ::recv(s, buffer, sizeof buffer, 0);
            if (received <= 0) {
                error = QStringLiteral("netlink: no answer");
                ok = false;
                break;
            }
            auto left = static_cast<unsigned>(received);
            for (auto *h = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
                if (h->nlmsg_type != NLMSG_ERROR)
                    continue;
                ++acknowledged;
                const int code = -reinterpret_cast<const nlmsgerr *>(NLMSG_DATA(h))->error;
                if (code != 0 && code != EEXIST && code != ESRCH) {
                    error = QStringLiteral(
                                "cannot change device addresses: %1 (run inside a private network namespace)")
                                .arg(QString::fromLocal8Bit(std::strerror(code)));
                    ok = false;
                }
            }
        }
    }
    ::close(s);
    return ok;
}
} // namespace
#endif

bool SimAddresses::Add(const QList<QByteArray> &ips, QString &error)
{
    if (!Load(error))
        return false;
#ifdef __linux__
    QList<quint32> missing;
    for (const QByteArray &ip : ips) {
        if (m_local.contains(ip) || !IsDottedQuad(ip))
            continue;
        m_local.insert(ip);
        m_added.insert(ip);
        missing.append(QHostAddress(QString::fromLatin1(ip)).toIPv4Address());
    }
    return missing.isEmpty() || changeLocalRoutes(RTM_NEWROUTE, missing, m_interfaceIndex, error);
#else
    Q_UNUSED(ips)
    error = QStringLiteral("device addresses are added on Linux only");
    return false;
#endif
}

bool SimAddresses::Replace(const QByteArray &from, const QByteArray &to, QString &error)
{
    if (!Load(error))
        return false;
#ifdef __linux__
    if (from != to && m_added.contains(from)) {
        if (!changeLocalRoutes(RTM_DELROUTE, {QHostAddress(QString::fromLatin1(from)).toIPv4Address()},
                               m_interfaceIndex, error))
            return false;
        m_local.remove(from);
        m_added.remove(from);
    }
    return Add({to}, error);
#else
    Q_UNUSED(from)
    Q_UNUSED(to)
    error = QStringLiteral("device addresses are changed on Linux only");
    return false;
#endif
}

void SendFrom(QUdpSocket &socket, const QByteArray &datagram, const QHostAddress &from, const QHostAddress &to,
              quint16 port)
{
#ifdef __linux__
    if (!from.isNull() && from.protocol() == QAbstractSocket::IPv4Protocol) {
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_addr.s_addr = htonl(to.toIPv4Address());
        destination.sin_port = htons(port);
        iovec data{const_cast<char *>(datagram.constData()), static_cast<size_t>(datagram.size())};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        message.msg_name = &destination;
        message.msg_namelen = sizeof destination;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = outgoingInterface();
        info.ipi_spec_dst.s_addr = htonl(from.toIPv4Address());
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        for (int attempt = 0; attempt < 1000; ++attempt) {
            if (::sendmsg(static_cast<int>(socket.socketDescriptor()), &message, 0) == datagram.size())
                return;
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS)
                break; // not an address of ours: the system's choice, below
            QThread::usleep(200);
        }
    }
#endif
    Q_UNUSED(from)
    SendPatiently(socket, datagram, to, port);
}

void SendAnswers(QUdpSocket &socket, QList<SimAnswer> answers, const AnswerStyle &style, const QHostAddress &to,
                 quint16 port)
{
    thread_local std::mt19937 random{std::random_device{}()};
    if (style.shuffle)
        std::shuffle(answers.begin(), answers.end(), random);
    if (style.spreadMs <= 0) {
        for (const SimAnswer &answer : std::as_const(answers))
            SendFrom(socket, answer.datagram, answer.from, to, port);
        return;
    }
    // Each answer at its own moment: sorted moments, waited for in turn.
    std::uniform_int_distribution<qint64> moment(0, static_cast<qint64>(style.spreadMs) * 1000 - 1);
    std::vector<std::pair<qint64, qsizetype>> schedule;
    for (qsizetype i = 0; i < answers.size(); ++i)
        schedule.emplace_back(moment(random), i);
    std::sort(schedule.begin(), schedule.end());
    QElapsedTimer clock;
    clock.start();
    for (const auto &[atUs, index] : schedule) {
        const qint64 waitUs = atUs - clock.nsecsElapsed() / 1000;
        if (waitUs > 0)
            QThread::usleep(static_cast<unsigned long>(waitUs));
        SendFrom(socket, answers[index].datagram, answers[index].from, to, port);
    }
}
