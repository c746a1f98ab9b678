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

namespace {
// Reads per wake-up; then the thread's event loop runs, so that a stop is seen within a batch
// even while a flood never lets the socket run dry.
constexpr std::size_t kBatch = 256;
// Datagrams one system call reads at most (ReadDatagrams).
constexpr std::size_t kReadsPerCall = 32;
// What a waiting datagram costs besides its bytes.
constexpr qsizetype kOverheadBytes = 64;
} // namespace

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
        // Several datagrams per system call where the system can: a burst costs far fewer
        // wake-ups of the kernel.
        DatagramSlot slots[kReadsPerCall];
        const int count = ReadDatagrams(socket, m_buffers.data(), m_keptBytes, kReadsPerCall, slots);
        const int error = count < 0 ? LastSocketError() : 0;
        for (int i = 0; i < count; ++i) {
            const char *data = m_buffers.data() + static_cast<std::size_t>(i) * m_keptBytes;
            const auto kept = static_cast<qsizetype>(std::min<qint64>(slots[i].size, static_cast<qint64>(m_keptBytes)));
            batch.push_back(
                ReceivedDatagram{QByteArray(data, kept), slots[i].size, slots[i].address, slots[i].port, false});
        }
        if (count > 0)
            continue;
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
