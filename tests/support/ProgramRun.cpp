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
    const QString outFile = outputs.filePath(QStringLiteral("out"));
    const QString errFile = outputs.filePath(QStringLiteral("err"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(outFile);
    process.setStandardErrorFile(errFile);
    process.start(program, arguments, QIODevice::ReadWrite | QIODevice::Text); // \r\n on Windows
    if (!process.waitForStarted(5000)) {
        qWarning() << program << "did not start:" << process.errorString();
        return {};
    }
    process.write(input);
    process.closeWriteChannel();
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
