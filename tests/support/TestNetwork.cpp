#include "TestNetwork.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QThread>
#include <QUdpSocket>

namespace TestNetwork {
bool InPrivateNamespace()
{
    if (qEnvironmentVariableIsEmpty("CORVANE_NETNS_HOST"))
        return false;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        // Windows names an interface by a number; its friendly name is what Linux calls it (Wine).
        const QString name = nic.humanReadableName();
        if (name != QLatin1String("lo") && name != QLatin1String("veth1") && name != QLatin1String("veth2"))
            return false;
    }
    return true;
}

bool UnderWine()
{
    return qEnvironmentVariableIsSet("CORVANE_UNDER_WINE");
}

bool ReceiveBufferLimited(int bytes)
{
    if (qEnvironmentVariableIsEmpty("CORVANE_NETNS_USERNS"))
        return false;
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    probe.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, bytes);
    return probe.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt() < bytes;
}

void SendToLocalPort(const QByteArray &datagram, quint16 port)
{
    QUdpSocket sender;
    sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
}

QString DeviceNamespace(int which)
{
    return qEnvironmentVariable(which == 2 ? "CORVANE_NETNS_DEV2" : "CORVANE_NETNS_DEV1");
}
} // namespace TestNetwork

DevSim::DevSim(int deviceNamespace)
    : m_namespace(deviceNamespace)
{
}

DevSim::~DevSim()
{
    Stop();
}

bool DevSim::Start(const QStringList &arguments)
{
    if (!m_dir.isValid())
        return false;
    QStringList all{QStringLiteral("--log"), m_dir.filePath(QStringLiteral("datagrams.jsonl"))};
    all += arguments;
    QString ns;
    if (m_namespace != 0) {
        ns = TestNetwork::DeviceNamespace(m_namespace);
        if (ns.isEmpty())
            return false;
    }
    if (!m_process.Start(ns, all))
        return false;
    const QDeadlineTimer deadline(10000);
    while (const auto line = m_process.ReadLine(static_cast<int>(deadline.remainingTime()))) {
        if (*line == "ready")
            return true;
    }
    return false;
}

void DevSim::Stop()
{
    m_process.Stop();
}

QList<QJsonObject> DevSim::Log() const
{
    QList<QJsonObject> lines;
    QFile file(m_dir.filePath(QStringLiteral("datagrams.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (!line.trimmed().isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

QList<QByteArray> ReceivedDatagrams(const DevSim &sim, QLatin1StringView protocol)
{
    QList<QByteArray> datagrams;
    const auto log = sim.Log();
    for (const QJsonObject &line : log) {
        if (line.value(QLatin1String("protocol")).toString() == protocol)
            datagrams << QByteArray::fromHex(line.value(QLatin1String("hex")).toString().toLatin1());
    }
    return datagrams;
}

QList<QByteArray> SetNetworkRequests(const DevSim &sim)
{
    QList<QByteArray> requests;
    for (const QByteArray &datagram : ReceivedDatagrams(sim, QLatin1String("own"))) {
        if (datagram.startsWith(QByteArrayView("\x05\0\0\0", 4)))
            requests << datagram;
    }
    return requests;
}

QList<QJsonObject> OnvifServiceRequests(const DevSim &sim, const QString &mac)
{
    QList<QJsonObject> requests;
    const auto log = sim.Log();
    for (const QJsonObject &line : log) {
        if (line.value(QLatin1String("protocol")).toString() == QLatin1String("onvif")
            && (mac.isEmpty() || line.value(QLatin1String("device")).toString() == mac))
            requests << line;
    }
    return requests;
}

QByteArray DevSim::WaitForOutput(const QByteArray &prefix, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (const auto line = m_process.ReadLine(static_cast<int>(deadline.remainingTime()))) {
        if (line->startsWith(prefix))
            return *line;
    }
    return {};
}

bool DevSim::WaitForLog(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (Log().size() < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}
