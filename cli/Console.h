#pragma once

#include <cstdio>
#include <memory>

// What corvanectl needs of the console it runs in, where POSIX terminals and the Windows console
// differ: one source for each, chosen by CMake.

// The device that swallows what is written to it ("/dev/null", "NUL").
const char *NullDevice();

// Whether the stream is a terminal a person types at.
bool IsTerminal(std::FILE *stream);

// Turns the terminal's echo off while it lives, for a password typed at a prompt.
class EchoOff final
{
public:
    explicit EchoOff(std::FILE *in);
    ~EchoOff();
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;
    bool Ok() const { return m_saved != nullptr; }

private:
    struct Saved; // the terminal's settings before
    std::unique_ptr<Saved> m_saved;
};
