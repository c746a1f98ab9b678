#include "ProgramRun.h"

#include <QDebug>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {
QByteArray readOutput(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QByteArray(); // \r\n on Windows
}
} // namespace

ProgramRun RunProgram(const QString &program, const QStringList &arguments, const QByteArray &input, int timeoutMs,
                      const QProcessEnvironment &environment)
{
    const QTemporaryDir outputs;
    if (!outputs.isValid()) {
        qWarning() << "no folder for the output of" << program << outputs.errorString();
        return {};
    }
    const QString inFile = outputs.filePath(QStringLiteral("in"));
    if (QFile in(inFile); !in.open(QIODevice::WriteOnly) || in.write(input) != input.size()) {
        qWarning() << "no file for the input of" << program << in.errorString();
        return {};
    }
    const QString outFile = outputs.filePath(QStringLiteral("out"));
    const QString errFile = outputs.filePath(QStringLiteral("err"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(inFile);
    process.setStandardOutputFile(outFile);
    process.setStandardErrorFile(errFile);
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) {
        qWarning() << program << "did not start:" << process.errorString();
        return {};
    }
    const bool ended = process.waitForFinished(timeoutMs);
    if (!ended) {
        process.kill();
        process.waitForFinished(5000); // its files are whole
    }
    const bool normal = ended && process.exitStatus() == QProcess::NormalExit;
    ProgramRun run{normal ? process.exitCode() : -1, readOutput(outFile), readOutput(errFile)};
    if (!normal) // a failure then says what happened
        qWarning().noquote() << program << arguments.join(u' ') << (ended ? u"crashed:" : u"ran out of time:")
                             << process.errorString() << "\nstandard output:\n"
                             << run.out << "\nstandard error:\n"
                             << run.err;
    return run;
}
