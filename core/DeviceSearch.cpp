#include "DeviceSearch.h"

#include "AdapterNetwork.h"
#include "CHalvetranoDlg.h"
#include "DeviceFields.h"
#include "RecordText.h"

#include <cstdio>
#include <cstring>

DeviceFamily FamilyOf(const CameraInfo &record)
{
    return IsVendorFamily(record) ? DeviceFamily::Vendor : DeviceFamily::Own;
}

const char *FamilyName(DeviceFamily family)
{
    switch (family) {
    case DeviceFamily::Own: return "own";
    case DeviceFamily::Vendor: return "vendor";
    case DeviceFamily::Onvif: return "onvif";
    }
    return "own";
}

DeviceSearch::DeviceSearch(CoreServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_onvifDiscovery(std::make_unique<OnvifDiscovery>(m_services.onvifDiscovery))
    , m_onvifCommands(m_services.onvifClient)
{
    m_reportedMacs.reserve(kDevicesReserved);
    m_repeater.CountListedBy([this] { return m_ownReported; });
    connect(m_onvifDiscovery.get(), &OnvifDiscovery::deviceFound, this, &DeviceSearch::OfferOnvif);
    connect(m_onvifDiscovery.get(), &OnvifDiscovery::finished, this, &DeviceSearch::onvifSearchFinished);
    connect(m_onvifDiscovery.get(), &OnvifDiscovery::deviceChanged, this, [this](const OnvifDevice &device) {
        if (m_reportedEndpoints.contains(device.endpoint))
            Q_EMIT onvifDeviceChanged(device);
        else
            OfferOnvif(device);
    });
}

DeviceSearch::~DeviceSearch() = default;

void DeviceSearch::SetVendorWindow(CHalvetranoDlg *vendor)
{
    if (m_vendor)
        disconnect(m_vendor, nullptr, this, nullptr);
    m_vendor = vendor;
    if (!vendor)
        return;
    connect(vendor, &CHalvetranoDlg::deviceFound, this, &DeviceSearch::Offer);
    connect(vendor, &CHalvetranoDlg::vendorDone, this, &DeviceSearch::vendorDone);
}

bool DeviceSearch::Start(const CNetworkAdapterObj *adapter)
{
    Clear();
    CloseReplySocket();
    const bool open = OpenReplySocket();
    SendRequest(adapter);
    StartOnvifSearch(adapter);
    StartVendorSearch();
    return open;
}

void DeviceSearch::Clear()
{
    m_reportedMacs.clear();
    m_reportedMacs.reserve(kDevicesReserved);
    m_ownReported = 0;
    m_familyMacs.clear();
    m_reportedEndpoints.clear();
    m_onvifDiscovery->Stop();
}

void DeviceSearch::CloseReplySocket()
{
    m_repeater.Stop();
    if (m_replySocket) {
        m_replySocket->Close();
        m_replySocket.reset();
    }
}

bool DeviceSearch::OpenReplySocket()
{
    if (m_replySocket)
        return true;
    auto socket = std::make_unique<CTalbrixReceveSocket>(QHostAddress(QHostAddress::AnyIPv4), m_services.replyPort,
                                                         m_services.receiveBufferBytes);
    connect(socket.get(), &CTalbrixReceveSocket::receivePacket, this, &DeviceSearch::OnReceivePacket);
    if (!socket->Create())
        return false;
    m_replySocket = std::move(socket);
    return true;
}

bool DeviceSearch::SendRequest(const CNetworkAdapterObj *adapter)
{
    if (!BroadcastThrough(adapter, MakeSearchRequest(), m_services.devicePort))
        return false;
    if (m_replySocket) {
        m_requestAdapter = *adapter;
        m_repeater.Start(m_replySocket.get());
    }
    return true;
}

void DeviceSearch::ResendRequest()
{
    BroadcastThrough(&m_requestAdapter, MakeSearchRequest(), m_services.devicePort);
}

void DeviceSearch::StartVendorSearch()
{
    if (m_vendor)
        m_vendor->StartSearch();
}

bool DeviceSearch::StartOnvifSearch(const CNetworkAdapterObj *adapter)
{
    if (!adapter || adapter->m_strAddress.isEmpty())
        return false;
    return m_onvifDiscovery->Start(*adapter);
}

bool DeviceSearch::OfferOnvif(const OnvifDevice &device)
{
    if (device.endpoint.isEmpty() || m_reportedEndpoints.contains(device.endpoint))
        return false;
    if (IsFamilyDeviceMac(device.mac))
        return false;
    m_reportedEndpoints.insert(device.endpoint);
    Q_EMIT onvifDeviceFound(device);
    return true;
}

bool DeviceSearch::IsFamilyDeviceMac(const QString &mac) const
{
    const std::optional<quint64> number = MacNumber(mac);
    return number && m_familyMacs.contains(*number);
}

bool DeviceSearch::Offer(const CameraInfo &record)
{
    const std::size_t length = qstrnlen(record.mac_addr, sizeof record.mac_addr);
    if (length == 0) {
        // A stray datagram zero-filled into a reply: such a device could not be told apart,
        // nor could its answers be matched.
        std::printf("device without MAC address dropped\n");
        std::fflush(stdout);
        return false;
    }
    if (m_reportedMacs.isEmpty() && length < 12)
        return false;
    MacText mac;
    std::memcpy(mac.bytes.data(), record.mac_addr, length);
    if (m_reportedMacs.contains(mac))
        return false;
    m_reportedMacs.insert(mac);
    if (FamilyOf(record) == DeviceFamily::Own)
        ++m_ownReported;
    if (const std::optional<quint64> number = MacNumber(QByteArrayView(record.mac_addr, length)))
        m_familyMacs.insert(*number);
    Q_EMIT deviceFound(record, FamilyOf(record));
    return true;
}

bool DeviceSearch::ClaimAnswers(const QObject *owner, const CameraInfo &device)
{
    QPointer<const QObject> &holder = m_answerOwners[ReadText(device.mac_addr)];
    if (holder && holder != owner)
        return false;
    holder = owner;
    return true;
}

void DeviceSearch::ReleaseAnswers(const QObject *owner)
{
    m_answerOwners.removeIf([owner](const auto &claim) { return !claim.value() || claim.value() == owner; });
}

const QObject *DeviceSearch::AnswerOwner(const CameraInfo &answer) const
{
    return m_answerOwners.value(ReadText(answer.mac_addr));
}

void DeviceSearch::OnReceivePacket()
{
    char buffer[CAMERA_INFO_SIZE];
    const qint64 size = m_replySocket->ReceiveFrom(buffer, sizeof buffer);
    if (size < 0) {
        m_replySocket->Close();
        Q_EMIT receiveError();
        return;
    }
    DispatchReply(buffer, size);
}

void DeviceSearch::DispatchReply(const char *buffer, qint64 size)
{
    // Empty and oversized datagrams are dropped: one stray packet must not end discovery.
    if (size <= 0 || size > CAMERA_INFO_SIZE)
        return;
    const CameraInfo record = FromDatagram(QByteArrayView(buffer, size));
    if (record.header.cmd == CMD_SET_NETWORK)
        Q_EMIT setNetworkAnswer(record);
    else if (record.header.cmd == CMD_SEARCH_REPLY)
        Offer(record);
}
