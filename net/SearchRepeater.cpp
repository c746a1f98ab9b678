#include "SearchRepeater.h"

#include "CTalbrixReceveSocket.h"

#include <algorithm>

void SearchRepeatPolicy::Sent(qint64 overflows)
{
    ++m_requests;
    m_atLastRequest = std::max<qint64>(overflows, 0);
    m_droppedLast = 0;
}

bool SearchRepeatPolicy::ShouldRepeat(qint64 overflows)
{
    if (overflows < 0)
        return false; // the platform cannot tell: one request, as ever
    m_droppedLast = std::max<qint64>(0, overflows - m_atLastRequest);
    m_dropped += m_droppedLast;
    m_atLastRequest = overflows;
    return m_droppedLast > 0 && m_requests <= m_maxRepeats;
}

QString SearchRepeatPolicy::Summary(int listed) const
{
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

void SearchRepeater::Start(CTalbrixReceveSocket *socket)
{
    m_policy = SearchRepeatPolicy(m_maxRepeats);
    m_socket = socket;
    if (!socket)
        return;
    m_policy.Sent(socket->Overflows());
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
    if (!m_policy.ShouldRepeat(m_socket->Overflows())) {
        Stop();
        Q_EMIT finished();
        return;
    }
    m_resend();
    if (!m_socket)
        return; // the resend closed the socket
    m_policy.Sent(m_socket->Overflows());
    m_sentNs = MonotonicClockNs();
    Q_EMIT repeated();
}
