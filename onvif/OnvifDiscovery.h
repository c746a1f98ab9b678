#pragma once

// Contract of the WS-Discovery search; implemented in OnvifDiscovery.cpp.

#include "CNetworkAdapterObj.h"
#include "OnvifDevice.h"

#include <QObject>

#include <memory>

// Where probes go and Hello/Bye are heard; tests inject their own.
struct OnvifDiscoveryOptions
{
    QHostAddress group{QStringLiteral("239.255.255.250")};
    quint16 port = 3702;
    int receiveBufferBytes = 0; // asked for each socket of the probes' port; 0: 4 MiB (the host may cap it)
    // The search's timing: the second round of probes (new MessageIDs) this long after the
    // first; the answers to a round have gone quiet once nothing came for quietMs after its last
    // probe left.
    int secondRoundMs = 2000;
    int quietMs = 700;
};

// What one search did, for the search's summary line and for benchmarks.
struct OnvifDiscoveryStats
{
    int rounds = 0;                   // rounds of probes (each: both probes and their repeats)
    int probesSent = 0;               // probe datagrams, repeats included
    qint64 answersRead = 0;           // datagrams read on the probes' port
    qint64 answersRefused = 0;        // malformed, too large, or answering someone else's probe
    qint64 dropped = 0;               // answers the kernel dropped for want of room (-1: cannot tell)
    qint64 droppedAfterLastRound = 0; // of those, after the last round went out
    int sockets = 0;                  // on the probes' port
    int receiveBufferBytes = 0;       // granted to each
};

// Probes for ONVIF devices through one adapter only (its address, its interface, TTL 1) and
// reports each device once, by endpoint address. Nothing waits: results arrive as signals.
class OnvifDiscovery final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnvifDiscovery)

public:
    explicit OnvifDiscovery(OnvifDiscoveryOptions options = {}, QObject *parent = nullptr);
    ~OnvifDiscovery() override;

    // Ends the search before, forgets the devices reported and sends the probes (both types,
    // repeated, then a second round). False when nothing could be sent through adapter. Leaves
    // the hearing of announcements as it is.
    bool Start(const CNetworkAdapterObj &adapter);
    // Ends the search and the hearing of announcements.
    void Stop();
    // Also hear Hello and Bye on the adapter (for watching), until Stop(); false when the port
    // cannot be had. Reported as deviceFound/deviceChanged (Hello) and deviceLeft (Bye).
    bool ListenForAnnouncements(const CNetworkAdapterObj &adapter);

    OnvifDiscoveryStats Stats() const;
    // The port the probes leave from and answers arrive on; 0 when not searching.
    quint16 ProbePort() const;
    // One line with the counts when the kernel dropped answers, else empty (as the own family's).
    QString Summary() const;

Q_SIGNALS:
    void deviceFound(const OnvifDevice &device);
    // A known endpoint announced itself again with other addresses (a Hello, or a later match).
    void deviceChanged(const OnvifDevice &device);
    void deviceLeft(const QString &endpoint); // a Bye, as the device wrote its endpoint
    // The answers to the last round have gone quiet (about 3.5 s after Start() when nothing was
    // dropped). Answers that come later are still reported, until Stop() or the next Start().
    void finished();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
