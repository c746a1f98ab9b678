#include "SearchRepeater.h"

#include "CTalbrixReceveSocket.h"

#include <algorithm>

void SearchRepeatPolicy::Sent(const SearchCounts &now)
{
    ++m_requests;
    m_atLastRequest = std::max<qint64>(now.overflows, 0);
    m_droppedLast = 0;
    m_last = now;
}

bool SearchRepeatPolicy::ShouldRepeat(const SearchCounts &now)
{
    if (now.overflows < 0) {
        m_counted = false;
        const qint64 burst = now.answers - m_last.answers;
        m_largestBurst = std::max(m_largestBurst, burst);
        bool mayHaveLost = false;
        if (m_requests == 1) {
            const bool errorsRose = m_last.systemErrors >= 0 && now.systemErrors > m_last.systemErrors;
            mayHaveLost = burst > kBurstThreshold || errorsRose;
        } else {
            m_newAfterLast = now.listed - m_last.listed;
            mayHaveLost = m_newAfterLast > 0;
        }
        return mayHaveLost && m_requests <= m_maxRepeats;
    }
    m_droppedLast = std::max<qint64>(0, now.overflows - m_atLastRequest);
    m_dropped += m_droppedLast;
    m_atLastRequest = now.overflows;
    return m_droppedLast > 0 && m_requests <= m_maxRepeats;
}

QString SearchRepeatPolicy::Progress() const
{
    if (m_counted)
        return QStringLiteral("Device search: %1 answers dropped by this computer; asking again (%2 requests sent).")
            .arg(m_dropped)
            .arg(m_requests);
    if (m_requests <= 2)
        return QStringLiteral("Device search: %1 answers at once, more than this computer may hold; asking again "
                              "(%2 requests sent).")
            .arg(m_largestBurst)
            .arg(m_requests);
    return QStringLiteral("Device search: the last request found %1 more devices; asking again (%2 requests sent).")
        .arg(m_newAfterLast)
        .arg(m_requests);
}

QString SearchRepeatPolicy::Summary(int listed) const
{
    if (!m_counted) {
        if (m_requests < 2)
            return {};
        if (m_newAfterLast == 0)
            return QStringLiteral("Device search: %1 requests sent, %2 answers at once, none new after the last "
                                  "request: the list is complete (%3 devices).")
                .arg(m_requests)
                .arg(m_largestBurst)
                .arg(listed);
        return QStringLiteral("Device search: %1 requests sent, %2 answers at once, %3 new after the last "
                              "request: devices may be missing (%4 listed).")
            .arg(m_requests)
            .arg(m_largestBurst)
            .arg(m_newAfterLast)
            .arg(listed);
    }
    if (m_dropped == 0)
        return {};
    if (m_droppedLast == 0)
        return QStringLiteral("Device search: %1 requests sent, %2 answers dropped by this computer, none after the "
                              "last request: the list is complete (%3 devices).")
            .arg(m_requests)
            .arg(m_dropped)
            .arg(listed);
    return QStringLiteral("Device search: %1 requests sent, %2 answers dropped by this computer, %3 after the last "
                          "request: devices may be missing (%4 listed).")
        .arg(m_requests)
        .arg(m_dropped)
        .arg(m_droppedLast)
        .arg(listed);
}

SearchRepeater::SearchRepeater(std::function<void()> resend, int maxRepeats, int quietMs, QObject *parent)
    : QObject(parent)
    , m_resend(std::move(resend))
    , m_maxRepeats(maxRepeats)
    , m_quietMs(quietMs)
    , m_policy(maxRepeats)
{
    connect(&m_timer, &QTimer::timeout, this, &SearchRepeater::Check);
}

SearchCounts SearchRepeater::CountsNow() const
{
    return SearchCounts{m_socket->Overflows(), m_socket->DatagramsReceived(), m_listed ? m_listed() : 0,
                        SystemUdpReceiveErrors()};
}

void SearchRepeater::Start(CTalbrixReceveSocket *socket)
{
    m_policy = SearchRepeatPolicy(m_maxRepeats);
    m_socket = socket;
    if (!socket)
        return;
    m_policy.Sent(CountsNow());
    m_sentNs = MonotonicClockNs();
    m_timer.start(std::max(1, m_quietMs / 5));
}

void SearchRepeater::Stop()
{
    m_timer.stop();
    m_socket = nullptr;
}

void SearchRepeater::Check()
{
    if (!m_socket || !m_socket->IsOpen()) {
        Stop();
        return;
    }
    const qint64 since = std::max(m_sentNs, m_socket->LastArrivalNs());
    if (MonotonicClockNs() - since < static_cast<qint64>(m_quietMs) * 1000000)
        return;
    if (!m_policy.ShouldRepeat(CountsNow())) {
        Stop();
        Q_EMIT finished();
        return;
    }
    m_resend();
    if (!m_socket)
        return; // the resend closed the socket
    m_policy.Sent(CountsNow());
    m_sentNs = MonotonicClockNs();
    Q_EMIT repeated();
}
