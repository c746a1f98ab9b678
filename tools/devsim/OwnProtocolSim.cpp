#include "OwnProtocolSim.h"

#include "ComputeMD5.h"
#include "DatagramLog.h"
#include "FloodDatagrams.h"
#include "RecordText.h"
#include "SimNetwork.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {
// CLOCK_MONOTONIC on Linux: one clock for every process of the machine, so that a benchmark can
// put these times beside its own.
qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool credentialsMatch(const SimDevice &device, const CameraInfo &request)
{
    const QByteArray password = device.password + '\0';
    char digest[16] = {};
    std::uint32_t size = sizeof digest;
    ComputeMD5(size, password.constData(), static_cast<std::uint32_t>(password.size()), digest);
    return ReadText(request.header.user_id) == device.userId
           && std::memcmp(digest, request.header.pass_wd, sizeof digest) == 0;
}

qint32 validate(const CameraInfo &request)
{
    const QByteArray gateway = ReadText(request.gateway);
    const QByteArray dns = ReadText(request.dns);
    if (!IsDottedQuad(ReadText(request.ip_addr)) || !IsContiguousMask(ReadText(request.subnet_mask))
        || (!gateway.isEmpty() && !IsDottedQuad(gateway)) || (!dns.isEmpty() && !IsDottedQuad(dns)))
        return RESULT_INVALID_ADDRESS;
    if (request.web_port == 0)
        return RESULT_INVALID_PORT;
    return RESULT_OK;
}

QByteArray recordBytes(const CameraInfo &info)
{
    return QByteArray(reinterpret_cast<const char *>(&info), sizeof info);
}
} // namespace

OwnProtocolSim::OwnProtocolSim(QList<SimDevice> &devices, DatagramLog &log, quint16 devicePort, quint16 replyPort,
                               Faults faults, SimAddresses *addresses, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
    , m_log(log)
    , m_devicePort(devicePort)
    , m_replyPort(replyPort)
    , m_faults(std::move(faults))
    , m_addresses(addresses)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &OwnProtocolSim::OnReadyRead);
}

bool OwnProtocolSim::Start(QString &error)
{
    if (!m_socket.bind(QHostAddress::AnyIPv4, m_devicePort)) {
        error = QStringLiteral("cannot bind port %1: %2").arg(m_devicePort).arg(m_socket.errorString());
        return false;
    }
    return true;
}

void OwnProtocolSim::OnReadyRead()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QByteArray data = datagram.data();
        m_log.Write("own", datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()), data);
        if (data.size() < CAMERA_INFO_WIRE_SIZE || data.size() > CAMERA_INFO_SIZE)
            continue;
        const CameraInfo request = FromDatagram(data);
        if (request.header.cmd == CMD_SEARCH_REQUEST)
            AnswerSearch();
        else if (request.header.cmd == CMD_SET_NETWORK)
            AnswerSetNetwork(request);
    }
}

QHostAddress OwnProtocolSim::SourceOf(const SimDevice &device)
{
    QString error;
    if (!m_addresses)
        return {};
    if (!m_addresses->Add({device.ip}, error)) {
        std::fprintf(stderr, "corvane-devsim: %s\n", qPrintable(error));
        return {};
    }
    return QHostAddress(QString::fromLatin1(device.ip));
}

void OwnProtocolSim::AnswerSearch()
{
    QList<SimAnswer> answers;
    for (const SimDevice &device : std::as_const(m_devices)) {
        if (device.family == SimDevice::Family::Own)
            answers.append({recordBytes(SearchReply(device)), SourceOf(device)});
    }
    QList<QByteArray> others = MalformedAnswers();
    if (m_faults.flood > 0 && !m_flooded) {
        m_flooded = true;
        others += FloodDatagrams(m_faults.flood);
    }
    for (const QByteArray &datagram : std::as_const(others))
        answers.append({datagram, {}});
    Send(answers);
}

void OwnProtocolSim::AnswerSetNetwork(const CameraInfo &request)
{
    const QByteArray mac = ReadText(request.mac_addr);
    for (SimDevice &device : m_devices) {
        if (device.family != SimDevice::Family::Own || device.mac != mac)
            continue;
        qint32 result = credentialsMatch(device, request) ? validate(request) : RESULT_LOGIN_FAILED;
        if (result == RESULT_OK && !device.fakeApply) {
            device.ip = ReadText(request.ip_addr);
            device.mask = ReadText(request.subnet_mask);
            device.gateway = ReadText(request.gateway);
            device.dns = ReadText(request.dns);
            device.webPort = request.web_port;
            device.dhcp = request.dhcp != 0;
        }
        CameraInfo answer = SearchReply(device);
        answer.header.cmd = CMD_SET_NETWORK;
        answer.header.result = result;
        Send({{recordBytes(answer), SourceOf(device)}});
        return;
    }
}

QList<QByteArray> OwnProtocolSim::MalformedAnswers() const
{
    QList<QByteArray> answers;
    SimDevice sample;
    sample.mac = "02:FF:00:00:00:01";
    sample.ip = "10.99.0.1";
    const QByteArray valid = recordBytes(SearchReply(sample));
    for (const QString &kind : m_faults.malformed) {
        if (const auto broken = SizeFault(kind, valid)) {
            answers.append(*broken);
        } else if (kind == QLatin1String("nonul")) {
            // Every text field filled to its full width, no NUL anywhere in it.
            CameraInfo info = SearchReply(sample);
            std::memset(info.mac_addr, 'M', sizeof info.mac_addr);
            std::memset(info.model_name, 'N', sizeof info.model_name);
            std::memset(info.manufacturer, 'F', sizeof info.manufacturer);
            std::memset(info.version, 'V', sizeof info.version);
            std::memset(info.ip_addr, '1', sizeof info.ip_addr);
            std::memset(info.subnet_mask, '2', sizeof info.subnet_mask);
            std::memset(info.gateway, '3', sizeof info.gateway);
            std::memset(info.dns, '4', sizeof info.dns);
            std::memset(info.header.user_id, 'U', sizeof info.header.user_id);
            answers.append(recordBytes(info));
        } else if (kind == QLatin1String("unknown")) {
            CameraInfo info = SearchReply(sample);
            info.header.cmd = 9;
            answers.append(recordBytes(info));
        }
    }
    return answers;
}

void OwnProtocolSim::Send(const QList<SimAnswer> &answers)
{
    QList<SimAnswer> all = answers;
    if (m_faults.answerTwice)
        all += answers;
    if (m_faults.answerDelayMs > 0)
        QTimer::singleShot(m_faults.answerDelayMs, this, [this, all] { SendNow(all); });
    else
        SendNow(all);
}

void OwnProtocolSim::SendNow(const QList<SimAnswer> &answers)
{
    if (answers.isEmpty())
        return;
    const qint64 first = monotonicNs();
    SendAnswers(m_socket, answers, m_faults.style, QHostAddress::Broadcast, m_replyPort);
    // For benchmarks: when the burst began and ended.
    std::printf("sent %lld datagrams, first at %lld ns, last at %lld ns\n", static_cast<long long>(answers.size()),
                static_cast<long long>(first), static_cast<long long>(monotonicNs()));
    std::fflush(stdout);
}
