#include "OnvifDiscovery.h"

#include "DatagramReceiver.h"
#include "MulticastSend.h"
#include "NativeSocket.h"
#include "OnvifServiceAddress.h"
#include "SearchRepeater.h"
#include "SocketGroup.h"
#include "WsDiscoveryMessages.h"

#include <QHash>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <deque>

Q_LOGGING_CATEGORY(lcOnvifDiscovery, "corvane.onvif.discovery", QtInfoMsg)

namespace {
// Sockets on the probes' port: the kernel spreads the devices' unicast answers over them by
// sender, and each has its own buffer (a stock host grants about 90 answers of 2.7 KB each).
constexpr int kSockets = 16;
constexpr int kDefaultReceiveBufferBytes = 4 * 1024 * 1024;
// SOAP-over-UDP's retransmission: a first repeat after UDP_MIN_DELAY..UDP_MAX_DELAY, then
// doubling, capped at UDP_UPPER_DELAY; always the same MessageID, so a device that heard the
// probe before drops the repeat.
constexpr int kRepeats = 2;
constexpr int kMinDelayMs = 50;
constexpr int kMaxDelayMs = 250;
constexpr int kUpperDelayMs = 500;
// Rounds with new MessageIDs: two always; more while the kernel dropped answers to the last.
constexpr int kPlannedRounds = 2;
constexpr int kMaxRounds = 6;
constexpr int kCheckMs = 50;
// Refused answers traced per search; the rest are only counted.
constexpr int kTracedRefusals = 20;

qint64 msToNs(qint64 ms)
{
    return ms * 1000000;
}

bool sameAddresses(const OnvifDevice &a, const OnvifDevice &b)
{
    return a.serviceAddress == b.serviceAddress && a.xaddrs == b.xaddrs
           && a.answerSource.isEqual(b.answerSource, QHostAddress::ConvertV4MappedToIPv4);
}

// The interface that carries the adapter's address.
QNetworkInterface interfaceOf(const CNetworkAdapterObj &adapter)
{
    const QHostAddress address(adapter.m_strAddress);
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        const auto entries = nic.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().isEqual(address, QHostAddress::ConvertV4MappedToIPv4))
                return nic;
        }
    }
    return {};
}
} // namespace

struct OnvifDiscovery::Private
{
    OnvifDiscovery *q;
    OnvifDiscoveryOptions options;

    // The search.
    CNetworkAdapterObj adapter;
    SocketGroup group;
    std::unique_ptr<DatagramReceiver> receiver;
    std::deque<ReceivedDatagram> ready;
    QSet<QString> outstanding; // normalised MessageIDs of this search's probes
    SearchRepeatPolicy policy{kMaxRounds - 1};
    QTimer check;
    quint64 generation = 0; // of the search: repeats scheduled by an earlier one do nothing
    qint64 startNs = 0;
    qint64 lastSendNs = 0; // of the last probe sent or scheduled
    bool searching = false;
    int refusalsTraced = 0;
    OnvifDiscoveryStats stats;

    // Hello and Bye.
    CNetworkAdapterObj announcementAdapter;
    int announcementInterface = 0;
    std::unique_ptr<QUdpSocket> announcements;

    QHash<QString, OnvifDevice> devices; // by normalised endpoint

    explicit Private(OnvifDiscovery *owner, OnvifDiscoveryOptions o)
        : q(owner)
        , options(std::move(o))
    {
    }

    void StopSearch()
    {
        ++generation;
        check.stop();
        // The thread stops before the sockets go.
        receiver.reset();
        group.Close();
        ready.clear();
        outstanding.clear();
        searching = false;
    }

    bool SendProbe(const QByteArray &datagram)
    {
        if (!group.IsOpen())
            return false;
        const bool sent = SendDatagram(group.Sockets().front(), datagram, options.group.toIPv4Address(), options.port);
        if (sent)
            ++stats.probesSent;
        else
            qCInfo(lcOnvifDiscovery, "probe not sent through %s: error %d", qPrintable(adapter.m_strAddress),
                   LastSocketError());
        return sent;
    }

    // Both probes with new MessageIDs, each repeated with its own.
    bool SendRound()
    {
        bool any = false;
        const qint64 now = MonotonicClockNs();
        lastSendNs = std::max(lastSendNs, now);
        for (const WsProbeType type : {WsProbeType::Device, WsProbeType::NetworkVideoTransmitter}) {
            const QString id = NewWsMessageId();
            outstanding.insert(NormalisedWsId(id));
            const QByteArray probe = BuildWsProbe(type, id);
            any = SendProbe(probe) || any;
            int delay = static_cast<int>(QRandomGenerator::system()->bounded(kMinDelayMs, kMaxDelayMs + 1));
            int at = 0;
            for (int k = 0; k < kRepeats; ++k) {
                at += delay;
                delay = std::min(2 * delay, kUpperDelayMs);
                const quint64 current = generation;
                QTimer::singleShot(at, q, [this, current, probe] {
                    if (current == generation)
                        SendProbe(probe);
                });
            }
            lastSendNs = std::max(lastSendNs, now + msToNs(at));
        }
        policy.Sent(group.Overflows());
        ++stats.rounds;
        return any;
    }

    void Check()
    {
        if (!searching)
            return;
        const qint64 now = MonotonicClockNs();
        if (stats.rounds < kPlannedRounds) {
            if (now - startNs >= msToNs(options.secondRoundMs)) {
                policy.ShouldRepeat(group.Overflows()); // counts the first round's drops
                SendRound();
            }
            return;
        }
        const qint64 since = std::max(lastSendNs, receiver ? receiver->LastArrivalNs() : 0);
        if (now - since < msToNs(options.quietMs))
            return;
        Drain(); // what arrived before the decision counts
        if (policy.ShouldRepeat(group.Overflows())) {
            SendRound();
            return;
        }
        check.stop();
        searching = false;
        Q_EMIT q->finished();
    }

    void Refuse(const QHostAddress &from, const QString &why)
    {
        ++stats.answersRefused;
        if (refusalsTraced++ < kTracedRefusals)
            qCInfo(lcOnvifDiscovery, "answer from %s dropped: %s", qPrintable(from.toString()), qPrintable(why));
    }

    void Drain()
    {
        if (!receiver)
            return;
        receiver->Take(ready);
        const quint64 current = generation;
        while (!ready.empty() && current == generation) {
            const ReceivedDatagram datagram = std::move(ready.front());
            ready.pop_front();
            if (datagram.failed)
                continue;
            ++stats.answersRead;
            Handle(datagram.data, datagram.size, QHostAddress(datagram.address), false, adapter);
        }
    }

    // One datagram from the probes' port (probeAnswer) or the announcements' port.
    void Handle(const QByteArray &data, qint64 size, const QHostAddress &from, bool announcement,
                const CNetworkAdapterObj &heardOn)
    {
        if (size > kWsDiscoveryMaxBytes || data.size() < size) {
            Refuse(from, QStringLiteral("%1 bytes, more than %2").arg(size).arg(kWsDiscoveryMaxBytes));
            return;
        }
        QString why;
        const std::optional<WsDiscoveryMessage> message = ParseWsDiscovery(data, &why);
        if (!message) {
            Refuse(from, why);
            return;
        }
        switch (message->kind) {
        case WsDiscoveryMessage::Kind::ProbeMatches:
            // Only an answer to one of our probes: someone else's search is not ours to list.
            if (announcement || !outstanding.contains(NormalisedWsId(message->relatesTo))) {
                Refuse(from, QStringLiteral("it answers another probe (%1)").arg(message->relatesTo));
                return;
            }
            for (const WsDiscoveryMatch &match : message->matches) {
                // A receiver of deviceFound may have started another search meanwhile.
                const quint64 current = generation;
                Report(MakeOnvifDevice(match, from, heardOn));
                if (current != generation)
                    break;
            }
            break;
        case WsDiscoveryMessage::Kind::Hello: Report(MakeOnvifDevice(message->matches.front(), from, heardOn)); break;
        case WsDiscoveryMessage::Kind::Bye: {
            const QString endpoint = message->matches.front().endpoint;
            devices.remove(NormalisedWsId(endpoint));
            Q_EMIT q->deviceLeft(endpoint);
            break;
        }
        case WsDiscoveryMessage::Kind::Probe: break; // another client's search
        }
    }

    void Report(const OnvifDevice &device)
    {
        const QString key = NormalisedWsId(device.endpoint);
        const auto known = devices.find(key);
        if (known == devices.end()) {
            devices.insert(key, device);
            Q_EMIT q->deviceFound(device);
            return;
        }
        const bool moved = !sameAddresses(*known, device);
        OnvifDevice merged = device;
        if (merged.mac.isEmpty())
            merged.mac = known->mac;
        *known = merged;
        if (moved)
            Q_EMIT q->deviceChanged(merged);
    }

    void ReadAnnouncements()
    {
        if (!announcements)
            return;
        while (announcements->hasPendingDatagrams()) {
            const qint64 size = announcements->pendingDatagramSize();
            // Read no more than the limit: a longer one is refused, its size kept.
            const QNetworkDatagram datagram = announcements->receiveDatagram(kWsDiscoveryMaxBytes);
            if (!datagram.isValid())
                break;
            // Linux hands a socket on 0.0.0.0 the group's datagrams of every interface where
            // anyone joined it: keep the adapter's.
            if (announcementInterface > 0 && datagram.interfaceIndex() > 0
                && static_cast<int>(datagram.interfaceIndex()) != announcementInterface)
                continue;
            Handle(datagram.data(), std::max<qint64>(size, datagram.data().size()), datagram.senderAddress(), true,
                   announcementAdapter);
        }
    }
};

OnvifDiscovery::OnvifDiscovery(OnvifDiscoveryOptions options, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, std::move(options)))
{
    d->check.setInterval(kCheckMs);
    connect(&d->check, &QTimer::timeout, this, [this] { d->Check(); });
}

OnvifDiscovery::~OnvifDiscovery()
{
    Stop();
}

bool OnvifDiscovery::Start(const CNetworkAdapterObj &adapter)
{
    d->StopSearch();
    d->devices.clear();
    d->stats = {};
    d->policy = SearchRepeatPolicy(kMaxRounds - 1);
    d->refusalsTraced = 0;
    d->lastSendNs = 0;
    const QHostAddress address(adapter.m_strAddress);
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        qCInfo(lcOnvifDiscovery, "adapter %s has no IPv4 address: no probe sent", qPrintable(adapter.m_strName));
        return false;
    }
    d->adapter = adapter;
    SocketGroup::Options group;
    group.sockets = kSockets;
    group.receiveBufferBytes = d->options.receiveBufferBytes > 0 ? d->options.receiveBufferBytes
                                                                 : kDefaultReceiveBufferBytes;
    group.unicastBySender = true;
    group.forceReceiveBuffer = true;
    // Bound to the adapter's address: the probes leave from it, and only answers to it arrive.
    if (!d->group.Open(address.toIPv4Address(), 0, group)) {
        qCInfo(lcOnvifDiscovery, "no socket on %s: error %d", qPrintable(adapter.m_strAddress), LastSocketError());
        return false;
    }
    if (!SetMulticastSending(d->group.Sockets().front(), address.toIPv4Address(), 1)) {
        qCInfo(lcOnvifDiscovery, "cannot send multicasts through %s: error %d", qPrintable(adapter.m_strAddress),
               LastSocketError());
        d->StopSearch();
        return false;
    }
    d->stats.sockets = static_cast<int>(d->group.Sockets().size());
    d->stats.receiveBufferBytes = d->group.ReceiveBufferSize();
    const QPointer<OnvifDiscovery> self(this);
    d->receiver = std::make_unique<DatagramReceiver>(
        d->group.Sockets(),
        [self] {
            QMetaObject::invokeMethod(
                self.data(),
                [self] {
                    if (self)
                        self->d->Drain();
                },
                Qt::QueuedConnection);
        },
        kWsDiscoveryMaxBytes);
    d->searching = true;
    d->startNs = MonotonicClockNs();
    if (!d->SendRound()) {
        d->StopSearch();
        return false;
    }
    d->check.start();
    return true;
}

void OnvifDiscovery::Stop()
{
    d->StopSearch();
    d->announcements.reset();
}

bool OnvifDiscovery::ListenForAnnouncements(const CNetworkAdapterObj &adapter)
{
    d->announcements.reset();
    const QNetworkInterface nic = interfaceOf(adapter);
    if (!nic.isValid()) {
        qCInfo(lcOnvifDiscovery, "no interface carries %s: Hello and Bye not heard", qPrintable(adapter.m_strAddress));
        return false;
    }
    auto socket = std::make_unique<QUdpSocket>();
    // Shared: Debian's wsdd, or another program of ours, may listen on the port too.
    if (!socket->bind(QHostAddress::AnyIPv4, d->options.port,
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)
        || !socket->joinMulticastGroup(d->options.group, nic)) {
        qCInfo(lcOnvifDiscovery, "cannot hear announcements on port %d: %s", d->options.port,
               qPrintable(socket->errorString()));
        return false;
    }
    d->announcementAdapter = adapter;
    d->announcementInterface = nic.index();
    connect(socket.get(), &QUdpSocket::readyRead, this, [this] { d->ReadAnnouncements(); });
    d->announcements = std::move(socket);
    return true;
}

OnvifDiscoveryStats OnvifDiscovery::Stats() const
{
    OnvifDiscoveryStats stats = d->stats;
    const qint64 overflows = d->group.Overflows();
    stats.dropped = overflows < 0 && d->group.IsOpen() ? -1 : d->policy.Dropped();
    stats.droppedAfterLastRound = d->policy.DroppedAfterLast();
    return stats;
}

quint16 OnvifDiscovery::ProbePort() const
{
    return d->group.Port();
}

QString OnvifDiscovery::Summary() const
{
    return d->policy.Summary(static_cast<int>(d->devices.size()))
        .replace(QLatin1String("Device search"), QLatin1String("ONVIF search"));
}
