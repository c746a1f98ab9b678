#include "DatagramReceiver.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>

#include <chrono>
#include <iterator>

#ifdef __linux__
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {
// Reads per wake-up; then the thread's event loop runs, so that a stop is seen within a batch
// even while a flood never lets the socket run dry.
constexpr std::size_t kBatch = 256;
// Datagrams one system call reads at most (recvmmsg).
constexpr std::size_t kReadsPerCall = 32;
// What a waiting datagram costs besides its bytes.
constexpr qsizetype kOverheadBytes = 64;

// A burst fills a stock receive buffer in about 6 ms, yet a woken thread may wait that long for
// a core while others run out their time slices. Linux (6.6 and later) lets any thread ask for
// a short slice, which makes it preempt on wake-up; older kernels ignore the request.
void askForPromptWakeUps()
{
#if defined(__linux__) && defined(SYS_sched_setattr)
    struct // the kernel's struct sched_attr, first version; glibc declares none
    {
        quint32 size;
        quint32 sched_policy;
        quint64 sched_flags;
        qint32 sched_nice;
        quint32 sched_priority;
        quint64 sched_runtime;
        quint64 sched_deadline;
        quint64 sched_period;
    } attr{};
    static_assert(sizeof attr == 48);
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_OTHER;
    attr.sched_runtime = 100 * 1000; // ns, the shortest slice the kernel grants
    ::syscall(SYS_sched_setattr, 0, &attr, 0u);
#endif
}
} // namespace

qint64 MonotonicClockNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DatagramReceiver::DatagramReceiver(std::vector<NativeSocket> sockets, std::function<void()> arrived)
    : m_sockets(std::move(sockets))
    , m_arrived(std::move(arrived))
    , m_buffers(kReadsPerCall * static_cast<std::size_t>(kKeptBytes))
    , m_thread(QThread::create([this] { Run(); }))
{
    m_thread->setObjectName(QStringLiteral("corvane-receive"));
    m_thread->start(QThread::HighestPriority);
}

DatagramReceiver::~DatagramReceiver()
{
    // Exits the thread's event loop, also one not entered yet.
    m_thread->quit();
    m_thread->wait();
}

void DatagramReceiver::Run()
{
    askForPromptWakeUps();
    // The notifiers are made, used and destroyed on this thread.
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    for (const NativeSocket socket : m_sockets) {
        auto notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(socket), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                         [this, socket] { ReadWaiting(socket); });
        notifiers.push_back(std::move(notifier));
    }
    {
        const QMutexLocker lock(&m_mutex);
        for (const auto &notifier : notifiers)
            m_notifiers.push_back(notifier.get());
    }
    QEventLoop loop;
    loop.exec();
    const QMutexLocker lock(&m_mutex);
    m_notifiers.clear();
}

void DatagramReceiver::ReadWaiting(NativeSocket socket)
{
    std::vector<ReceivedDatagram> batch;
    batch.reserve(kBatch);
    bool failed = false;
    while (batch.size() < kBatch) {
#ifdef __linux__
        // Several datagrams per system call: a burst costs far fewer wake-ups of the kernel.
        mmsghdr messages[kReadsPerCall] = {};
        iovec slots[kReadsPerCall];
        sockaddr_in from[kReadsPerCall] = {};
        for (std::size_t i = 0; i < kReadsPerCall; ++i) {
            slots[i] = {m_buffers.data() + i * static_cast<std::size_t>(kKeptBytes),
                        static_cast<std::size_t>(kKeptBytes)};
            messages[i].msg_hdr.msg_iov = &slots[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &from[i];
            messages[i].msg_hdr.msg_namelen = sizeof from[i];
        }
        // MSG_TRUNC: a longer datagram's length is its whole length, not what was kept.
        const int count = ::recvmmsg(socket, messages, kReadsPerCall, MSG_TRUNC, nullptr);
        const int error = count < 0 ? LastSocketError() : 0;
        for (int i = 0; i < count; ++i) {
            const auto size = static_cast<qint64>(messages[i].msg_len);
            batch.push_back(ReceivedDatagram{QByteArray(static_cast<const char *>(slots[i].iov_base),
                                                        static_cast<qsizetype>(std::min<qint64>(size, kKeptBytes))),
                                             size, ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port), false});
        }
        if (count > 0)
            continue;
#else
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        std::vector<char> buffer(65536); // larger than any IPv4 datagram: its real length is known
        const auto size = ::recvfrom(socket, buffer.data(), static_cast<int>(buffer.size()), 0,
                                     reinterpret_cast<sockaddr *>(&from), &fromSize);
        const int error = size < 0 ? LastSocketError() : 0;
        if (size >= 0) {
            batch.push_back(
                ReceivedDatagram{QByteArray(buffer.data(), static_cast<qsizetype>(std::min<qint64>(size, kKeptBytes))),
                                 static_cast<qint64>(size), ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), false});
            continue;
        }
#endif
        if (Interrupted(error))
            continue;
        if (WouldBlock(error))
            break;
        // Handed on in its place, so that the owner can report it.
        batch.push_back(ReceivedDatagram{{}, 0, 0, 0, true});
        failed = true;
        break;
    }
    if (batch.empty())
        return;
    m_lastArrivalNs = MonotonicClockNs();

    bool tell = false;
    {
        const QMutexLocker lock(&m_mutex);
        for (const ReceivedDatagram &datagram : batch)
            m_waitingBytes += datagram.data.size() + kOverheadBytes;
        m_waiting.insert(m_waiting.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
        tell = !m_ownerTold;
        m_ownerTold = true;
        // After a failed read, wait for the owner: an error that stays must not spin here.
        if (failed || m_waitingBytes >= kMaxWaitingBytes) {
            m_paused = true;
            for (QSocketNotifier *notifier : m_notifiers)
                notifier->setEnabled(false);
        }
    }
    if (tell)
        m_arrived();
}

void DatagramReceiver::Take(std::deque<ReceivedDatagram> &into)
{
    const QMutexLocker lock(&m_mutex);
    into.insert(into.end(), std::make_move_iterator(m_waiting.begin()), std::make_move_iterator(m_waiting.end()));
    m_waiting.clear();
    m_waitingBytes = 0;
    m_ownerTold = false;
    if (m_paused && !m_notifiers.empty()) {
        m_paused = false;
        for (QSocketNotifier *notifier : m_notifiers)
            QMetaObject::invokeMethod(
                notifier, [notifier] { notifier->setEnabled(true); }, Qt::QueuedConnection);
    }
}
