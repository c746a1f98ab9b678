#include "VendorProtocolSim.h"

#include "DatagramLog.h"
#include "RecordText.h"
#include "SimNetwork.h"
#include "ZEKSDK.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSet>

#include <cstdio>
#include <cstring>

namespace {
constexpr qsizetype kMaxSessions = 16; // per device; the oldest goes first

ZekProbeAnswer probeAnswer(const SimDevice &device, quint32 requestId)
{
    ZekProbeAnswer answer{};
    answer.header = MakeZekHeader(ZEK_PROBE | ZEK_ANSWER, requestId);
    WriteText(answer.ip_addr, device.ip);
    WriteText(answer.subnet_mask, device.mask);
    WriteText(answer.gateway, device.gateway);
    WriteText(answer.dns1, device.dns);
    WriteText(answer.dns2, device.dns2);
    WriteText(answer.mac_addr, device.mac);
    WriteText(answer.device_type, device.deviceType);
    WriteText(answer.device_model, device.model);
    answer.media_port = device.mediaPort;
    answer.web_port = device.webPort;
    return answer;
}

bool isAddressOrEmpty(const QByteArray &text)
{
    return text.isEmpty() || IsDottedQuad(text);
}

qint32 validate(const ZekModifyNetwork &request)
{
    if (request.mode != ZEK_NETWORK_MODE_STATIC || !IsDottedQuad(ReadText(request.ip_addr))
        || !IsContiguousMask(ReadText(request.subnet_mask)) || !isAddressOrEmpty(ReadText(request.gateway))
        || !isAddressOrEmpty(ReadText(request.dns1)) || !isAddressOrEmpty(ReadText(request.dns2)))
        return ZEK_ERR_INVALID_CONFIG;
    return ZEK_OK;
}

// The one MAC text a device reports, and the one a network change must name byte for byte.
bool isMacText(const QByteArray &mac)
{
    static const QRegularExpression format(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2}){5}$"));
    return format.match(QString::fromLatin1(mac)).hasMatch();
}

template<std::size_t N>
bool credentialsMatch(const SimDevice &device, const char (&userId)[32], const char (&proof)[N], quint32 requestId)
{
    return ReadText(userId) == device.userId && ZekProofMatches(proof, requestId, device.password);
}
} // namespace

VendorProtocolSim::VendorProtocolSim(QList<SimDevice> &devices, DatagramLog &log, Options options, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
    , m_log(log)
    , m_options(std::move(options))
{
    for (const SimDevice &device : std::as_const(m_devices))
        m_states.push_back(DeviceState{device, {}, {}});
    connect(&m_discovery, &QUdpSocket::readyRead, this, &VendorProtocolSim::OnDiscovery);
}

bool VendorProtocolSim::Start(QString &error)
{
    if (!m_discovery.bind(QHostAddress::AnyIPv4, ZEK_DEVICE_PORT)) {
        error = QStringLiteral("cannot bind port %1: %2").arg(ZEK_DEVICE_PORT).arg(m_discovery.errorString());
        return false;
    }
    QSet<quint16> ports;
    for (const SimDevice &device : std::as_const(m_devices)) {
        if (device.family != SimDevice::Family::Vendor)
            continue;
        if (!isMacText(device.mac)) {
            error = QStringLiteral("vendor device MAC %1: write it as 00:1A:2B:3C:4D:5E (upper case, colons)")
                        .arg(QString::fromLatin1(device.mac));
            return false;
        }
        ports.insert(device.mediaPort);
    }
    for (const quint16 port : std::as_const(ports)) {
        auto socket = std::make_unique<QUdpSocket>();
        if (!socket->bind(QHostAddress::AnyIPv4, port)) {
            error = QStringLiteral("cannot bind media port %1: %2").arg(port).arg(socket->errorString());
            return false;
        }
        QUdpSocket *raw = socket.get();
        connect(raw, &QUdpSocket::readyRead, this, [this, raw] { OnControl(*raw); });
        m_control.push_back(std::move(socket));
    }
    return true;
}

bool VendorProtocolSim::IsAwake(int index) const
{
    return m_devices[index].family == SimDevice::Family::Vendor && m_states[index].silentUntil.hasExpired();
}

void VendorProtocolSim::OnDiscovery()
{
    while (m_discovery.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_discovery.receiveDatagram();
        const QByteArray data = datagram.data();
        m_log.Write("vendor", datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()), data);
        if (const auto probe = DecodeZek<ZekProbe>(data, ZEK_PROBE))
            AnswerProbe(probe->header.request_id);
        else if (const auto modify = DecodeZek<ZekModifyNetwork>(data, ZEK_MODIFY_NETWORK))
            ModifyNetwork(*modify);
    }
}

QHostAddress VendorProtocolSim::SourceOf(const SimDevice &device) const
{
    QString error;
    if (!m_options.addresses)
        return {};
    if (!m_options.addresses->Add({device.ip}, error)) {
        std::fprintf(stderr, "corvane-devsim: %s\n", qPrintable(error));
        return {};
    }
    return QHostAddress(QString::fromLatin1(device.ip));
}

void VendorProtocolSim::Reply(QUdpSocket &socket, const QNetworkDatagram &request, const QByteArray &answer)
{
    SendFrom(socket, answer, request.destinationAddress(), request.senderAddress(),
             static_cast<quint16>(request.senderPort()));
}

void VendorProtocolSim::AnswerProbe(quint32 requestId)
{
    QList<SimAnswer> answers;
    for (int i = 0; i < m_devices.size(); ++i) {
        if (IsAwake(i))
            answers.append({EncodeZek(probeAnswer(m_devices[i], requestId)), SourceOf(m_devices[i])});
    }
    if (m_options.answerTwice)
        answers += answers;
    const QList<QByteArray> malformed = MalformedAnswers(requestId);
    for (const QByteArray &datagram : malformed)
        answers.append({datagram, {}});
    // Broadcast, as every answer on the discovery port: the host may be in another subnet.
    SendAnswers(m_discovery, answers, m_options.style, QHostAddress::Broadcast, ZEK_CLIENT_PORT);
}

void VendorProtocolSim::ModifyNetwork(const ZekModifyNetwork &request)
{
    const QByteArray mac = ReadText(request.mac_addr);
    for (int i = 0; i < m_devices.size(); ++i) {
        SimDevice &device = m_devices[i];
        if (!IsAwake(i) || device.mac != mac)
            continue;
        const quint32 requestId = request.header.request_id;
        qint32 status = credentialsMatch(device, request.user_id, request.proof, requestId) ? validate(request)
                                                                                            : ZEK_ERR_PASSWORD;
        const QByteArray ip = ReadText(request.ip_addr);
        if (status == ZEK_OK && ip != device.ip && TakenBy(ip, device.mediaPort) >= 0)
            status = ZEK_ERR_FAILED; // valid, but another device already answers there
        // The answer leaves before the change, so from the old address.
        ZekModifyAnswer answer{};
        answer.header = MakeZekHeader(ZEK_MODIFY_NETWORK | ZEK_ANSWER, requestId, status);
        WriteText(answer.mac_addr, device.mac);
        SendFrom(m_discovery, EncodeZek(answer), SourceOf(device), QHostAddress::Broadcast, ZEK_CLIENT_PORT);
        if (status == ZEK_OK) {
            device.ip = ip;
            device.mask = ReadText(request.subnet_mask);
            device.gateway = ReadText(request.gateway);
            device.dns = ReadText(request.dns1);
            device.dns2 = ReadText(request.dns2);
            m_states[i].sessions.clear(); // they belonged to the old address
            SourceOf(device);             // reachable at the new address at once
        }
        return;
    }
}

int VendorProtocolSim::TakenBy(const QByteArray &ip, quint16 mediaPort) const
{
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].family == SimDevice::Family::Vendor && m_devices[i].mediaPort == mediaPort
            && m_devices[i].ip == ip)
            return i;
    }
    return -1;
}

int VendorProtocolSim::FindTarget(const char (&targetIp)[16], quint16 targetPort, quint16 arrivedOn) const
{
    // Reboot, reset and logout as well as login: a request for another address or port is
    // someone else's, and gets no answer at all.
    if (targetPort != arrivedOn)
        return -1;
    const int index = TakenBy(ReadText(targetIp), arrivedOn);
    return index >= 0 && IsAwake(index) ? index : -1;
}

void VendorProtocolSim::OnControl(QUdpSocket &socket)
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        const QByteArray data = datagram.data();
        m_log.Write("vendor", datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()), data);
        if (const auto login = DecodeZek<ZekLogin>(data, ZEK_LOGIN)) {
            Login(socket, datagram, *login);
            continue;
        }
        for (const quint8 type : {ZEK_REBOOT, ZEK_FACTORY_RESET, ZEK_LOGOUT}) {
            if (const auto request = DecodeZek<ZekSessionRequest>(data, type))
                SessionCommand(socket, datagram, *request);
        }
    }
}

void VendorProtocolSim::Login(QUdpSocket &socket, const QNetworkDatagram &datagram, const ZekLogin &login)
{
    const int index = FindTarget(login.target_ip, login.target_port, socket.localPort());
    if (index < 0)
        return;
    const quint32 requestId = login.header.request_id;
    ZekLoginAnswer answer{};
    if (credentialsMatch(m_devices[index], login.user_id, login.proof, requestId)) {
        QList<Session> &sessions = m_states[index].sessions;
        if (sessions.size() >= kMaxSessions)
            sessions.removeFirst();
        sessions.append(Session{NewZekId(), datagram.senderAddress()});
        answer.header = MakeZekHeader(ZEK_LOGIN | ZEK_ANSWER, requestId, ZEK_OK);
        answer.session = sessions.last().id;
    } else {
        answer.header = MakeZekHeader(ZEK_LOGIN | ZEK_ANSWER, requestId, ZEK_ERR_PASSWORD);
    }
    Reply(socket, datagram, EncodeZek(answer));
}

void VendorProtocolSim::SessionCommand(QUdpSocket &socket, const QNetworkDatagram &datagram,
                                       const ZekSessionRequest &request)
{
    const int index = FindTarget(request.target_ip, request.target_port, socket.localPort());
    if (index < 0)
        return;
    DeviceState &state = m_states[index];
    // A session counts only from the client it was given to.
    const auto session = std::find_if(state.sessions.begin(), state.sessions.end(), [&](const Session &s) {
        return request.session != 0u && s.id == request.session && s.client == datagram.senderAddress();
    });
    const bool loggedIn = session != state.sessions.end();
    const quint8 type = request.header.type;
    const qint32 status = loggedIn ? ZEK_OK : ZEK_ERR_NOT_LOGGED_IN;
    const ZekStatusAnswer answer{MakeZekHeader(type | ZEK_ANSWER, request.header.request_id, status)};
    Reply(socket, datagram, EncodeZek(answer));
    if (!loggedIn)
        return;
    if (type == ZEK_LOGOUT) {
        state.sessions.erase(session);
        return;
    }
    if (type == ZEK_FACTORY_RESET)
        m_devices[index] = state.factory;
    state.sessions.clear();
    state.silentUntil = QDeadlineTimer(m_options.rebootTimeMs);
}

QList<QByteArray> VendorProtocolSim::MalformedAnswers(quint32 requestId) const
{
    QList<QByteArray> answers;
    SimDevice sample;
    sample.family = SimDevice::Family::Vendor;
    sample.mac = "02:FF:00:00:00:02";
    sample.ip = "10.99.0.2";
    const ZekProbeAnswer valid = probeAnswer(sample, requestId);
    for (const QString &kind : m_options.malformed) {
        ZekProbeAnswer answer = valid;
        if (const auto broken = SizeFault(kind, EncodeZek(valid))) {
            answers.append(*broken);
        } else if (kind == QLatin1String("nonul")) {
            // Every text filled to its full width, no NUL anywhere in it.
            std::memset(answer.ip_addr, '1', sizeof answer.ip_addr);
            std::memset(answer.subnet_mask, '2', sizeof answer.subnet_mask);
            std::memset(answer.gateway, '3', sizeof answer.gateway);
            std::memset(answer.dns1, '4', sizeof answer.dns1);
            std::memset(answer.dns2, '5', sizeof answer.dns2);
            std::memset(answer.mac_addr, 'M', sizeof answer.mac_addr);
            std::memset(answer.device_type, 'T', sizeof answer.device_type);
            std::memset(answer.device_model, 'D', sizeof answer.device_model);
            answers.append(EncodeZek(answer));
        } else if (kind == QLatin1String("unknown")) {
            answer.header.type = 0xff;
            answers.append(EncodeZek(answer));
        } else if (kind == QLatin1String("magic")) {
            answer.header.magic[0] = 'X';
            answers.append(EncodeZek(answer));
        } else if (kind == QLatin1String("version")) {
            answer.header.version = ZEK_VERSION + 1;
            answers.append(EncodeZek(answer));
        } else if (kind == QLatin1String("foreign")) {
            answer.header.request_id = requestId + 1; // the answer to another search's probe
            answers.append(EncodeZek(answer));
        }
    }
    return answers;
}
