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
        const QString name = nic.name();
        if (name != QLatin1String("lo") && name != QLatin1String("veth1") && name != QLatin1String("veth2"))
            return false;
    }
    return true;
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

QString DeviceNamespace(int which)
{
    return qEnvironmentVariable(which == 2 ? "CORVANE_NETNS_DEV2" : "CORVANE_NETNS_DEV1");
}
} // namespace TestNetwork

DevSim::DevSim(int deviceNamespace)
    : m_namespace(deviceNamespace)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
    if (m_namespace == 0) {
        m_process.start(QStringLiteral(CORVANE_DEVSIM), all);
    } else {
        const QString ns = TestNetwork::DeviceNamespace(m_namespace);
        if (ns.isEmpty())
            return false;
        m_process.start(QStringLiteral("nsenter"),
                        QStringList{QStringLiteral("--net=/run/netns/") + ns, QStringLiteral(CORVANE_DEVSIM)} + all);
    }
    if (!m_process.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.canReadLine() && m_process.readLine().trimmed() == "ready")
            return true;
        if (m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(100);
    }
    return false;
}

void DevSim::Stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
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

QByteArray DevSim::WaitForOutput(const QByteArray &prefix, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith(prefix))
                return line;
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(20);
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
