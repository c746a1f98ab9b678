#include "DatagramReceiver.h"

#include "NativeSocket.h"
#include "OwnedThread.h"
#include "PromptWakeUps.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>

namespace {
// Reads per wake-up; then the thread's event loop runs, so that a stop is seen within a batch
// even while a flood never lets the socket run dry.
constexpr std::size_t kBatch = 256;
// Datagrams one system call reads at most (ReadDatagrams).
constexpr std::size_t kReadsPerCall = 32;
// What a waiting datagram costs besides its bytes.
constexpr qsizetype kOverheadBytes = 64;
} // namespace

qint64 RealTimeNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

qint64 MonotonicClockNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DatagramReceiver::DatagramReceiver(std::vector<NativeSocket> sockets, std::function<void()> arrived,
                                   qsizetype keptBytes)
    : m_sockets(std::move(sockets))
    , m_arrived(std::move(arrived))
    , m_keptBytes(static_cast<std::size_t>(std::max<qsizetype>(keptBytes, 1)))
    , m_buffers(kReadsPerCall * m_keptBytes)
    , m_held(m_sockets.size())
    , m_lastStamp(m_sockets.size(), 0)
    , m_quietAt(m_sockets.size(), 0)
    , m_thread(MakeOwnedThread([this] { Run(); }))
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
    AskForPromptWakeUps();
    // The notifiers are made, used and destroyed on this thread.
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    for (const NativeSocket socket : m_sockets) {
        auto notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(socket), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { ReadWaiting(); });
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

void DatagramReceiver::ReadWaiting()
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_paused)
            return; // a read asked for before the pause
    }
    // The readable sockets in turn, until a look at all of them finds none readable: a datagram
    // queued on one socket before a later one was read from another is then read too, so that
    // the two can be put in order.
    std::vector<ReceivedDatagram> batch;
    std::vector<bool> readable;
    std::size_t read = 0;
    bool failed = false;
    bool empty = false;
    while (!failed && !empty && read < kBatch) {
        const qint64 lookedAt = RealTimeNs();
        const int ready = WaitUntilReadable(m_sockets, 0, readable);
        empty = ready == 0;
        for (std::size_t k = 0; ready > 0 && k < m_sockets.size() && !failed; ++k) {
            if (!readable[k]) {
                m_quietAt[k] = lookedAt;
                continue;
            }
            // Up to kReadsPerCall each in turn, one system call on Linux, one call per datagram
            // on Windows: a flood on one socket must not leave the others' buffers to fill, and
            // a look at the sockets costs as much as a read there.
            int got = 0;
            int count = 0;
            int error = 0;
            do {
                const qint64 readAt = RealTimeNs();
                DatagramSlot slots[kReadsPerCall];
                count = ReadDatagrams(m_sockets[k], m_buffers.data(), m_keptBytes,
                                      kReadsPerCall - static_cast<std::size_t>(got), slots);
                error = count < 0 ? LastSocketError() : 0;
                if (count < 0 && WouldBlock(error))
                    m_quietAt[k] = readAt;
                for (int i = 0; i < count; ++i) {
                    const char *data = m_buffers.data() + static_cast<std::size_t>(i) * m_keptBytes;
                    m_held[k].push_back(
                        Held{slots[i].receivedNs, m_sequence++,
                             ReceivedDatagram{QByteArray(data, static_cast<qsizetype>(std::min<qint64>(
                                                                   slots[i].size, static_cast<qint64>(m_keptBytes)))),
                                              slots[i].size, slots[i].address, slots[i].port, false}});
                    m_lastStamp[k] = slots[i].receivedNs;
                }
                got += std::max(count, 0);
            } while ((count > 0 || Interrupted(error)) && got < static_cast<int>(kReadsPerCall));
            read += static_cast<std::size_t>(got);
            m_received += got;
            failed = count < 0 && !WouldBlock(error) && !Interrupted(error);
        }
        // A failed look at the sockets is a failed read too.
        failed = failed || (ready < 0 && !Interrupted(LastSocketError()));
    }
    // Stopped with sockets not yet dry: a socket still readable may hold a datagram received
    // after the last one read from it, or after it was last found empty, not before.
    qint64 bound = std::numeric_limits<qint64>::max();
    if (!empty && !failed) {
        const int ready = WaitUntilReadable(m_sockets, 0, readable);
        for (std::size_t k = 0; k < m_sockets.size(); ++k) {
            if (ready < 0 || (ready > 0 && readable[k]))
                bound = std::min(bound, std::max(m_lastStamp[k], m_quietAt[k]));
        }
    }
    ReleaseHeld(batch, bound);
    // Handed on in its place, after what came before it, so that the owner can report it.
    if (failed)
        batch.push_back(ReceivedDatagram{{}, 0, 0, 0, true});
    // What is held back goes at the next turn, also when no socket becomes readable again.
    const bool held = std::any_of(m_held.begin(), m_held.end(), [](const std::deque<Held> &h) { return !h.empty(); });
    if (batch.empty()) {
        if (held)
            ReadAgainSoon();
        return;
    }
    m_lastArrivalNs = MonotonicClockNs();

    bool tell = false;
    bool again = false;
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
        again = held && !m_paused;
    }
    if (again)
        ReadAgainSoon();
    if (tell)
        m_arrived();
}

void DatagramReceiver::ReadAgainSoon()
{
    // After the thread's other events, a stop among them; one such read waits at a time.
    if (m_notifiers.empty() || m_readAgain.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_notifiers.front(),
        [this] {
            m_readAgain = false;
            ReadWaiting();
        },
        Qt::QueuedConnection);
}

void DatagramReceiver::ReleaseHeld(std::vector<ReceivedDatagram> &batch, qint64 bound)
{
    for (;;) {
        std::deque<Held> *first = nullptr;
        for (std::deque<Held> &held : m_held) {
            if (!held.empty()
                && (!first || held.front().receivedNs < first->front().receivedNs
                    || (held.front().receivedNs == first->front().receivedNs
                        && held.front().sequence < first->front().sequence)))
                first = &held;
        }
        if (!first || first->front().receivedNs > bound)
            return;
        batch.push_back(std::move(first->front().datagram));
        first->pop_front();
    }
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
        ReadAgainSoon(); // what was held back when reading paused
    }
}
