#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class CTalbrixReceveSocket;

// What the receiving side counts, read when a request goes out and when its answers have gone
// quiet. The counts run from the socket's start; the policy takes the differences.
struct SearchCounts
{
    qint64 overflows = -1;    // answers the kernel dropped for want of room; -1: the system cannot tell
    qint64 answers = 0;       // datagrams received
    qint64 listed = 0;        // devices the search has listed
    qint64 systemErrors = -1; // UDP datagrams the whole system could not take in; -1: unknown
};

// When to ask again. The duplicate check keeps every device once, so a repeat only fills the
// gaps; at most maxRepeats repeats go out.
// - Where the kernel counts the answers it dropped (Linux), once the answers to a request have
//   gone quiet, the request goes out again if any were dropped since it went out.
// - Where it does not (Windows), a burst of more than kBurstThreshold answers, or a rise of the
//   system's UDP error count, may have lost some: the request goes out once more, and again
//   only while the previous repeat listed devices that were not there before.
// A small site, with nothing dropped, gets one request.
class SearchRepeatPolicy final
{
public:
    static constexpr int kMaxRepeats = 6;
    // The fewest answers a reply socket was measured to hold while nobody read it: 332, a stock
    // Linux host's buffer, also under Wine (docs/windows.md). A smaller burst cannot overflow it.
    static constexpr qint64 kBurstThreshold = 300;

    explicit SearchRepeatPolicy(int maxRepeats = kMaxRepeats)
        : m_maxRepeats(maxRepeats)
    {
    }

    // A request went out.
    void Sent(const SearchCounts &now);
    void Sent(qint64 overflows) { Sent(SearchCounts{overflows}); }
    // Its answers have gone quiet: true when the request should go out again (call Sent() then).
    bool ShouldRepeat(const SearchCounts &now);
    bool ShouldRepeat(qint64 overflows) { return ShouldRepeat(SearchCounts{overflows}); }

    int Requests() const { return m_requests; }
    qint64 Dropped() const { return m_dropped; }              // over all requests
    qint64 DroppedAfterLast() const { return m_droppedLast; } // since the last request
    // Without a drop count: the largest burst, and the devices the last repeat added.
    qint64 LargestBurst() const { return m_largestBurst; }
    qint64 NewAfterLastRepeat() const { return m_newAfterLast; }
    // While repeating: one line on why.
    QString Progress() const;
    // Once done: one line with the counts when a repeat was needed, else empty.
    QString Summary(int listed) const;

private:
    int m_maxRepeats;
    int m_requests = 0;
    qint64 m_atLastRequest = 0;
    qint64 m_dropped = 0;
    qint64 m_droppedLast = 0;
    bool m_counted = true; // the system counts drops
    SearchCounts m_last;   // at the last request
    qint64 m_largestBurst = 0;
    qint64 m_newAfterLast = 0;
};

// Watches the reply socket after a search request and repeats the request as the policy says.
class SearchRepeater final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kQuietMs = 250; // no answer for this long: the burst is over

    explicit SearchRepeater(std::function<void()> resend, int maxRepeats = SearchRepeatPolicy::kMaxRepeats,
                            int quietMs = kQuietMs, QObject *parent = nullptr);

    // How many devices the search has listed: a repeat that adds none ends the repeats where
    // drops are not counted.
    void CountListedBy(std::function<qint64()> listed) { m_listed = std::move(listed); }
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
    SearchCounts CountsNow() const;

    std::function<void()> m_resend;
    std::function<qint64()> m_listed;
    int m_maxRepeats;
    int m_quietMs;
    SearchRepeatPolicy m_policy;
    QPointer<CTalbrixReceveSocket> m_socket;
    qint64 m_sentNs = 0;
    QTimer m_timer;
};
