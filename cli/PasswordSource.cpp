#include "PasswordSource.h"

#include <QFile>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <termios.h>
#include <unistd.h>
#endif

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

// Turns the terminal's echo off while it lives.
class EchoOff final
{
public:
    explicit EchoOff(std::FILE *in)
        : m_fd(fileno(in))
    {
#ifdef _WIN32
        m_handle = GetStdHandle(STD_INPUT_HANDLE);
        m_ok = GetConsoleMode(m_handle, &m_mode) && SetConsoleMode(m_handle, m_mode & ~DWORD(ENABLE_ECHO_INPUT));
#else
        m_ok = tcgetattr(m_fd, &m_saved) == 0;
        if (m_ok) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            quiet.c_lflag |= ECHONL;
            m_ok = tcsetattr(m_fd, TCSAFLUSH, &quiet) == 0;
        }
#endif
    }
    ~EchoOff()
    {
        if (!m_ok)
            return;
#ifdef _WIN32
        SetConsoleMode(m_handle, m_mode);
        std::fputc('\n', stderr);
#else
        tcsetattr(m_fd, TCSAFLUSH, &m_saved);
#endif
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;
    bool Ok() const
    {
        return m_ok;
    }

private:
    int m_fd;
    bool m_ok = false;
#ifdef _WIN32
    HANDLE m_handle = nullptr;
    DWORD m_mode = 0;
#else
    termios m_saved{};
#endif
};
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
    if (!isatty(fileno(standardInput)))
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
