#include "PasswordSource.h"

#include "Console.h"

#include <QFile>

namespace {
QString firstLine(const QByteArray &bytes)
{
    qsizetype end = bytes.indexOf('\n');
    if (end < 0)
        end = bytes.size();
    if (end > 0 && bytes[end - 1] == '\r')
        --end;
    return QString::fromLocal8Bit(bytes.left(end));
}

QByteArray readLine(std::FILE *in)
{
    QByteArray line;
    int c = 0;
    while ((c = std::fgetc(in)) != EOF && c != '\n')
        line += static_cast<char>(c);
    return line;
}
} // namespace

PasswordResult ReadPassword(const PasswordRequest &request, std::FILE *standardInput)
{
    if (request.file) {
        if (*request.file == QLatin1String("-"))
            return {firstLine(readLine(standardInput)), {}};
        QFile file(*request.file);
        if (!file.open(QIODevice::ReadOnly))
            return {std::nullopt,
                    QStringLiteral("cannot read the password file %1: %2").arg(*request.file, file.errorString())};
        return {firstLine(file.readLine()), {}};
    }
    if (qEnvironmentVariableIsSet(kPasswordVariable))
        return {qEnvironmentVariable(kPasswordVariable), {}};
    if (!IsTerminal(standardInput))
        return {std::nullopt, QStringLiteral("no password: give --password-file FILE (- for standard input), set %1, "
                                             "or run on a terminal to be asked")
                                  .arg(QLatin1String(kPasswordVariable))};
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
    const EchoOff quiet(standardInput);
    if (!quiet.Ok())
        return {std::nullopt, QStringLiteral("cannot turn the terminal's echo off: give --password-file instead")};
    return {QString::fromLocal8Bit(readLine(standardInput)), {}};
}
