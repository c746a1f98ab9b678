#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class CTalbrixReceveSocket;

// When to ask again: once the answers to a request have gone quiet, if the kernel dropped answers
// since that request went out, the request goes out again, at most maxRepeats times. The
// duplicate check keeps every device once, so a repeat only fills the gaps. With nothing
// dropped, one request is all there is.
class SearchRepeatPolicy final
{
public:
    static constexpr int kMaxRepeats = 6;

    explicit SearchRepeatPolicy(int maxRepeats = kMaxRepeats)
        : m_maxRepeats(maxRepeats)
    {
    }

    // A request went out; overflows is the receiving side's drop count now (-1: unknown).
    void Sent(qint64 overflows);
    // The answers have gone quiet: true when the request should go out again (call Sent() then).
    bool ShouldRepeat(qint64 overflows);

    int Requests() const { return m_requests; }
    qint64 Dropped() const { return m_dropped; }              // over all requests
    qint64 DroppedAfterLast() const { return m_droppedLast; } // since the last request
    // One line with the counts when anything was dropped, else empty.
    QString Summary(int listed) const;

private:
    int m_maxRepeats;
    int m_requests = 0;
    qint64 m_atLastRequest = 0;
    qint64 m_dropped = 0;
    qint64 m_droppedLast = 0;
};

// Watches the reply socket after a search request and repeats the request as the policy says.
class SearchRepeater final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kQuietMs = 250; // no answer for this long: the burst is over

    explicit SearchRepeater(std::function<void()> resend, int maxRepeats = SearchRepeatPolicy::kMaxRepeats,
                            int quietMs = kQuietMs, QObject *parent = nullptr);

    // Right after the first request went out on socket's behalf.
    void Start(CTalbrixReceveSocket *socket);
    void Stop();
    bool IsWatching() const { return m_timer.isActive(); }
    const SearchRepeatPolicy &Policy() const { return m_policy; }

Q_SIGNALS:
    void repeated(); // after each repeat
    void finished(); // the answers to the last request have gone quiet

private:
    void Check();

    std::function<void()> m_resend;
    int m_maxRepeats;
    int m_quietMs;
    SearchRepeatPolicy m_policy;
    QPointer<CTalbrixReceveSocket> m_socket;
    qint64 m_sentNs = 0;
    QTimer m_timer;
};
