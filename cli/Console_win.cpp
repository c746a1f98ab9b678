#include "Console.h"

#include <io.h>
#include <windows.h>

struct EchoOff::Saved
{
    HANDLE handle;
    DWORD mode;
};

const char *NullDevice()
{
    return "NUL";
}

bool IsTerminal(std::FILE *stream)
{
    return _isatty(_fileno(stream));
}

// The console's input is standard input's handle, whatever stream the caller reads it through.
EchoOff::EchoOff(std::FILE *)
{
    Saved saved{GetStdHandle(STD_INPUT_HANDLE), 0};
    if (GetConsoleMode(saved.handle, &saved.mode)
        && SetConsoleMode(saved.handle, saved.mode & ~DWORD(ENABLE_ECHO_INPUT)))
        m_saved = std::make_unique<Saved>(saved);
}

EchoOff::~EchoOff()
{
    if (!m_saved)
        return;
    SetConsoleMode(m_saved->handle, m_saved->mode);
    std::fputc('\n', stderr); // the line end the user typed was not echoed either
}
