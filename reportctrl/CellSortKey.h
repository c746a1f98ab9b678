#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

class DateTextParser;

// A list cell's text read once for sorting. Compare() decides by the first rule both texts pass:
// hexadecimal (strtoul, base 16), number (strtod, a trailing per-cent sign allowed), date, and
// otherwise an ordinal comparison of the texts. Reading a text once and comparing keys orders
// exactly as reading both texts at every comparison.
class CellSortKey final
{
public:
    CellSortKey(const QString &text, const DateTextParser &dates);

    // -1, 0 or +1. Compare(a, b) == -Compare(b, a) for every pair, and Compare(a, a) == 0.
    static int Compare(const CellSortKey &a, const CellSortKey &b);

    // strtoul in base 16 over the whole text, as an unsigned 32-bit value (the list's original
    // platform): leading white space, a sign and 0x are accepted, values above 0xFFFFFFFF
    // saturate and a minus sign negates modulo 2^32.
    static std::optional<std::uint32_t> ParseHex(QStringView text);
    // strtod in the "C" locale, whatever the user's locale; the end may be a trailing '%'.
    static std::optional<double> ParseNumber(QStringView text);

private:
    QString m_strText;
    std::optional<std::uint32_t> m_hex;
    std::optional<double> m_number;
    std::optional<double> m_date;
};

// A list cell holds C text, as the platform's list view does: nothing after a NUL.
inline QString CellTextBeforeNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}
