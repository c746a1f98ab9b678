#pragma once

#include <QByteArray>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

// Collects what is written to standard output or standard error (the diagnostics go there)
// between its construction and Take().
class CapturedOutput
{
public:
    explicit CapturedOutput(FILE *stream)
        : m_stream(stream)
        , m_fd(::fileno(stream))
    {
        if (!m_file.open())
            return;
        std::fflush(m_stream);
        m_saved = ::dup(m_fd);
        ::dup2(m_file.handle(), m_fd);
    }
    ~CapturedOutput() { Take(); }
    CapturedOutput(const CapturedOutput &) = delete;
    CapturedOutput &operator=(const CapturedOutput &) = delete;

    // Ends the capture (once) and returns what was written.
    QByteArray Take()
    {
        if (m_saved < 0)
            return m_taken;
        std::fflush(m_stream);
        ::dup2(m_saved, m_fd);
        ::close(m_saved);
        m_saved = -1;
        m_file.seek(0);
        m_taken = m_file.readAll();
        return m_taken;
    }

private:
    FILE *m_stream;
    int m_fd;
    int m_saved = -1;
    QTemporaryFile m_file;
    QByteArray m_taken;
};

// Collects what fn writes to standard output (the diagnostics go there with printf).
template<typename Fn>
QByteArray CaptureStdout(Fn &&fn)
{
    CapturedOutput output(stdout);
    fn();
    return output.Take();
}
