#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// corvane-devsim (CORVANE_DEVSIM) as a running process: a Linux program, also for the Windows
// tests, which run under Wine. Wine can start a Linux program but neither read its output nor
// see it end, so there SimulatorProcess_win.cpp asks tests/wine/devsim-agent.sh, which runs
// beside the test, to run it; SimulatorProcess_posix.cpp runs it itself.
class SimulatorProcess final
{
public:
    SimulatorProcess();
    ~SimulatorProcess(); // stops it
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts it with these arguments in the named network namespace, or in the caller's own
    // when netns is empty. Its standard error goes to the caller's.
    bool Start(const QString &netns, const QStringList &arguments);
    // The next line it writes to standard output, without the line end; nothing once timeoutMs
    // has passed or it has ended with no line left.
    std::optional<QByteArray> ReadLine(int timeoutMs);
    void Stop();

private:
    struct Running;
    std::unique_ptr<Running> m_running;
};
