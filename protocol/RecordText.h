#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstring>

// The one pair of helpers for the record's fixed-width texts. A device may fill a field to
// its full width without a NUL, so reading never goes past the field. Writing copies the
// text and its NUL, cut at width - 1 bytes, and leaves the rest of the field as it was:
// devices may keep something behind the NUL, and it must travel back unchanged.

inline QByteArray ReadText(const char *field, std::size_t width)
{
    const void *nul = std::memchr(field, '\0', width);
    const auto length = nul ? static_cast<const char *>(nul) - field : static_cast<std::ptrdiff_t>(width);
    return QByteArray(field, length);
}

inline void WriteText(char *field, std::size_t width, QByteArrayView text)
{
    if (width == 0)
        return;
    const auto length = std::min(static_cast<std::size_t>(text.size()), width - 1);
    if (length > 0)
        std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

template<std::size_t N>
QByteArray ReadText(const char (&field)[N])
{
    return ReadText(field, N);
}

template<std::size_t N>
void WriteText(char (&field)[N], QByteArrayView text)
{
    WriteText(field, N, text);
}

// Texts in the host's 8-bit encoding, as the edit fields and the list show them.
template<std::size_t N>
QString FieldString(const char (&field)[N])
{
    return QString::fromLocal8Bit(ReadText(field));
}

template<std::size_t N>
void SetFieldString(char (&field)[N], const QString &text)
{
    WriteText(field, text.toLocal8Bit());
}
