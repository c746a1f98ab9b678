#include "SimulatorProcess.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>

struct SimulatorProcess::Running
{
    QProcess process;
};

SimulatorProcess::SimulatorProcess() = default;

SimulatorProcess::~SimulatorProcess()
{
    Stop();
}

bool SimulatorProcess::Start(const QString &netns, const QStringList &arguments)
{
    Stop();
    m_running = std::make_unique<Running>();
    QProcess &process = m_running->process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (netns.isEmpty())
        process.start(QStringLiteral(CORVANE_DEVSIM), arguments);
    else
        process.start(QStringLiteral("nsenter"),
                      QStringList{QStringLiteral("--net=/run/netns/") + netns, QStringLiteral(CORVANE_DEVSIM)}
                          + arguments);
    return process.waitForStarted(5000);
}

std::optional<QByteArray> SimulatorProcess::ReadLine(int timeoutMs)
{
    if (!m_running)
        return std::nullopt;
    QProcess &process = m_running->process;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (process.canReadLine())
            return process.readLine().trimmed();
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            return std::nullopt;
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 20)));
    }
}

void SimulatorProcess::Stop()
{
    if (m_running && m_running->process.state() != QProcess::NotRunning) {
        m_running->process.kill();
        m_running->process.waitForFinished(5000);
    }
}
