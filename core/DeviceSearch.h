#pragma once

#include "CNetworkAdapterObj.h"
#include "CTalbrixReceveSocket.h"
#include "CameraInfo.h"
#include "CoreServices.h"
#include "DeviceFamily.h"
#include "OnvifCommands.h"
#include "SearchRepeater.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <array>
#include <memory>

class CHalvetranoDlg;

// The search of the three families. It owns the socket on which own-family devices answer
// (the answers to set-network requests arrive there too), runs the vendor window's search and
// the ONVIF discovery; every device a family reports is reported once, through deviceFound or,
// for ONVIF, onvifDeviceFound. A device that answers its own family's search and also
// announces itself over ONVIF is its own family's: the ONVIF one is dropped once its MAC says
// so. Nothing waits: results arrive as signals on the thread it belongs to.
class DeviceSearch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceSearch)

public:
    // The devices the tables of a search are made for at once: a full /16. Growing a table
    // moves all it holds in one step, which at tens of thousands of devices holds the
    // user-interface thread for tens of milliseconds.
    static constexpr int kDevicesReserved = 65536;

    explicit DeviceSearch(CoreServices services = {}, QObject *parent = nullptr);
    ~DeviceSearch() override;

    // The vendor window whose search StartVendorSearch runs and whose devices are offered
    // here; not owned, may be null.
    void SetVendorWindow(CHalvetranoDlg *vendor);

    // A whole search: forgets the devices reported, opens a new reply socket, sends the search
    // request and the ONVIF probes through the adapter and starts the vendor search. False when the reply port
    // cannot be had: the request and the vendor search still go, but no answer is seen.
    bool Start(const CNetworkAdapterObj *adapter);

    // Start's steps, for a caller that does something between them.
    void Clear();
    void CloseReplySocket();
    bool OpenReplySocket(); // true at once when it is open
    // False when nothing was sent (no adapter, or one without an IPv4 address). While the reply
    // socket is open, the request goes out again when the kernel dropped answers (Repeater()).
    bool SendRequest(const CNetworkAdapterObj *adapter);
    void StartVendorSearch();
    // Probes for ONVIF devices through the adapter only; false when nothing could be sent.
    bool StartOnvifSearch(const CNetworkAdapterObj *adapter);

    // Reports the device through deviceFound and returns true, unless its MAC text is empty,
    // or was reported since Clear, or it would be the first and its MAC text is shorter than
    // 12 characters.
    bool Offer(const CameraInfo &record);
    // Reports the device through onvifDeviceFound and returns true, unless its endpoint is
    // empty or was reported since Clear, or its MAC is that of a device of the other families
    // reported since Clear.
    bool OfferOnvif(const OnvifDevice &device);
    // True when a device of the other families with this MAC (in any usual form) has been
    // reported since Clear: an ONVIF device that shows this MAC after a login is that device.
    bool IsFamilyDeviceMac(const QString &mac) const;

    // Reads the datagram the reply socket has signalled; a read error closes the socket.
    void OnReceivePacket();
    // What a read datagram is: buffer holds its first min(size, 372) bytes, size its whole
    // length. A search reply is offered, a set-network answer passed on; empty and oversized
    // datagrams and other commands are dropped.
    void DispatchReply(const char *buffer, qint64 size);

    const std::unique_ptr<CTalbrixReceveSocket> &ReplySocket() const { return m_replySocket; }
    // Its signals tell when a request went out again and when the last one's answers went quiet.
    SearchRepeater &Repeater() { return m_repeater; }
    const CoreServices &Services() const { return m_services; }
    OnvifCommands &Onvif() { return m_onvifCommands; }
    // One line with the ONVIF answers the kernel dropped in the last search; empty when none.
    QString OnvifSummary() const { return m_onvifDiscovery->Summary(); }

    // A plan that changes a device takes its set-network answers for as long as it runs:
    // nobody else may report them (a window would take them for a Save's). False when another
    // owner holds the device. Devices are named by their MAC text, as answers name them.
    bool ClaimAnswers(const QObject *owner, const CameraInfo &device);
    void ReleaseAnswers(const QObject *owner);
    // Who holds the answering device; nullptr when nobody does.
    const QObject *AnswerOwner(const CameraInfo &answer) const;

Q_SIGNALS:
    void deviceFound(const CameraInfo &record, DeviceFamily family);
    void onvifDeviceFound(const OnvifDevice &device);
    // A reported ONVIF device announced itself again with other addresses.
    void onvifDeviceChanged(const OnvifDevice &device);
    // The answers to the last ONVIF probes have gone quiet; later ones are still reported.
    void onvifSearchFinished();
    // Any set-network answer; IsAnswerFrom tells whose.
    void setNetworkAnswer(const CameraInfo &answer);
    // The reply socket failed and has been closed; answers are not seen until the next search.
    void receiveError();
    // The vendor window has finished a search or a network change.
    void vendorDone();

private:
    void ResendRequest();

    CoreServices m_services;
    std::unique_ptr<CTalbrixReceveSocket> m_replySocket;
    QPointer<CHalvetranoDlg> m_vendor;
    // A MAC text as its field holds it, zeros after its end: a device's entry needs no
    // allocation of its own.
    struct MacText
    {
        std::array<char, sizeof(CameraInfo::mac_addr)> bytes{};
        friend bool operator==(const MacText &, const MacText &) = default;
        friend size_t qHash(const MacText &mac, size_t seed) noexcept
        {
            return qHashBits(mac.bytes.data(), mac.bytes.size(), seed);
        }
    };

    QSet<MacText> m_reportedMacs;
    QSet<quint64> m_familyMacs; // MacNumber of every device of the other families reported
    QSet<QString> m_reportedEndpoints;
    std::unique_ptr<OnvifDiscovery> m_onvifDiscovery;
    OnvifCommands m_onvifCommands;
    QHash<QByteArray, QPointer<const QObject>> m_answerOwners; // an owner gone holds nothing
    qint64 m_ownReported = 0;                                  // the devices a repeat of the request can add
    CNetworkAdapterObj m_requestAdapter;                       // the last request's, for its repeats
    SearchRepeater m_repeater{[this] { ResendRequest(); }};
};
