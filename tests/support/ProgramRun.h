#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A program run to its end by RunProgram.
struct ProgramRun
{
    int exitCode = -1; // -1 when it did not start, crashed or ran out of time
    QByteArray out;    // standard output, line ends as "\n" on every system
    QByteArray err;    // standard error, the same
};

// Runs a program to its end, input on its standard input; a program that has not ended after
// timeoutMs is killed, and a failure to start, a crash or a kill is told with qWarning, with
// what it wrote. Its input and output are files, its output read once it has ended: under Wine,
// a Windows QProcess that reads a pipe now and then misses what the program wrote just before
// it exited, although the program wrote it whole, and the pipes' thread-pool callbacks once
// crashed the test as a run ended.
ProgramRun RunProgram(const QString &program, const QStringList &arguments, const QByteArray &input = {},
                      int timeoutMs = 60000,
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
