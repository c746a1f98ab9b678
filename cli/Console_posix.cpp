#include "Console.h"

#include <termios.h>
#include <unistd.h>

struct EchoOff::Saved
{
    int fd;
    termios settings;
};

const char *NullDevice()
{
    return "/dev/null";
}

bool IsTerminal(std::FILE *stream)
{
    return isatty(fileno(stream));
}

EchoOff::EchoOff(std::FILE *in)
{
    Saved saved{fileno(in), {}};
    if (tcgetattr(saved.fd, &saved.settings) != 0)
        return;
    termios quiet = saved.settings;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL;
    if (tcsetattr(saved.fd, TCSAFLUSH, &quiet) == 0)
        m_saved = std::make_unique<Saved>(saved);
}

EchoOff::~EchoOff()
{
    if (m_saved)
        tcsetattr(m_saved->fd, TCSAFLUSH, &m_saved->settings);
}
