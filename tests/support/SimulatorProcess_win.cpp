#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <atomic>

// The agent's folder, as a Linux path (CORVANE_DEVSIM_SPOOL); Wine shows the Linux root as Z:.
// A request is <id>.start: the namespace on the first line, then the program and its arguments,
// one a line (Windows paths among them are turned into Linux ones). The agent writes the
// program's standard output to <id>.out and its exit status to <id>.exit, and kills it when
// <id>.stop appears.
namespace {
constexpr int kPollMs = 20;

QString spoolFile(const QString &id, const char *suffix)
{
    return QStringLiteral("Z:") + qEnvironmentVariable("CORVANE_DEVSIM_SPOOL") + u'/' + id + QLatin1String(suffix);
}

QString nextId()
{
    static std::atomic<int> count{0};
    return QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(++count);
}
} // namespace

struct SimulatorProcess::Running
{
    QString id;
    QFile output;
    QByteArray pending; // read, not yet a whole line
};

SimulatorProcess::SimulatorProcess() = default;

SimulatorProcess::~SimulatorProcess()
{
    Stop();
}

bool SimulatorProcess::Start(const QString &netns, const QStringList &arguments)
{
    Stop();
    if (qEnvironmentVariableIsEmpty("CORVANE_DEVSIM_SPOOL"))
        return false; // not run by tests/wine/run-test.sh
    m_running = std::make_unique<Running>();
    m_running->id = nextId();
    QByteArray request = netns.toUtf8() + '\n' + QByteArrayLiteral(CORVANE_DEVSIM) + '\n';
    for (const QString &argument : arguments)
        request += argument.toUtf8() + '\n';
    QFile file(spoolFile(m_running->id, ".request"));
    if (!file.open(QIODevice::WriteOnly) || file.write(request) != request.size())
        return false;
    file.close();
    if (!file.rename(spoolFile(m_running->id, ".start")))
        return false;
    m_running->output.setFileName(spoolFile(m_running->id, ".out"));
    const QDeadlineTimer deadline(5000);
    while (!m_running->output.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

std::optional<QByteArray> SimulatorProcess::ReadLine(int timeoutMs)
{
    if (!m_running || !m_running->output.isOpen())
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // Whether it had ended is asked before reading, so that its last lines are not missed.
        const bool ended = QFile::exists(spoolFile(m_running->id, ".exit"));
        m_running->pending += m_running->output.readAll();
        const qsizetype end = m_running->pending.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = m_running->pending.left(end).trimmed();
            m_running->pending.remove(0, end + 1);
            return line;
        }
        if (ended || deadline.hasExpired())
            return std::nullopt;
        QThread::msleep(kPollMs);
    }
}

void SimulatorProcess::Stop()
{
    if (!m_running)
        return;
    const QString exitFile = spoolFile(m_running->id, ".exit");
    if (m_running->output.isOpen() && !QFile::exists(exitFile)) {
        QFile stop(spoolFile(m_running->id, ".stop"));
        stop.open(QIODevice::WriteOnly);
        stop.close();
        const QDeadlineTimer deadline(5000);
        while (!QFile::exists(exitFile) && !deadline.hasExpired())
            QThread::msleep(kPollMs);
    }
    m_running.reset();
}
