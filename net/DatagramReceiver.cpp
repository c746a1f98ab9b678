#include "DatagramReceiver.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>

#include <iterator>

#ifdef __linux__
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {
// Larger than any IPv4 datagram, so that none is ever cut and its real length is known.
constexpr std::size_t kBufferBytes = 65536;
// Reads per wake-up; then the thread's event loop runs, so that a stop is seen within a batch
// even while a flood never lets the socket run dry.
constexpr std::size_t kBatch = 256;
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

DatagramReceiver::DatagramReceiver(NativeSocket socket, std::function<void()> arrived)
    : m_socket(socket)
    , m_arrived(std::move(arrived))
    , m_buffer(kBufferBytes)
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
    // The notifier is made, used and destroyed on this thread.
    QSocketNotifier notifier(static_cast<qintptr>(m_socket), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [this, &notifier] { ReadWaiting(notifier); });
    {
        const QMutexLocker lock(&m_mutex);
        m_notifier = &notifier;
    }
    QEventLoop loop;
    loop.exec();
    const QMutexLocker lock(&m_mutex);
    m_notifier = nullptr;
}

void DatagramReceiver::ReadWaiting(QSocketNotifier &notifier)
{
    std::vector<ReceivedDatagram> batch;
    batch.reserve(kBatch);
    bool failed = false;
    while (batch.size() < kBatch) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const auto size = ::recvfrom(m_socket, m_buffer.data(), static_cast<int>(m_buffer.size()), 0,
                                     reinterpret_cast<sockaddr *>(&from), &fromSize);
        if (size < 0) {
            const int error = LastSocketError();
            if (Interrupted(error))
                continue;
            if (WouldBlock(error))
                break;
            // Handed on in its place, so that the owner can report it.
            batch.push_back(ReceivedDatagram{{}, 0, 0, true});
            failed = true;
            break;
        }
        batch.push_back(ReceivedDatagram{QByteArray(m_buffer.data(), static_cast<qsizetype>(size)),
                                         ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), false});
    }
    if (batch.empty())
        return;

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
            notifier.setEnabled(false);
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
    if (m_paused && m_notifier) {
        m_paused = false;
        QSocketNotifier *notifier = m_notifier;
        QMetaObject::invokeMethod(
            notifier, [notifier] { notifier->setEnabled(true); }, Qt::QueuedConnection);
    }
}
