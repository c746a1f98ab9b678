#include "CellSortKey.h"

#include "DateTextParser.h"
#include "StrtodInCLocale.h"

#include <QByteArray>

namespace {
// isspace in the "C" locale.
bool isCSpace(char16_t c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hexDigitValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

template<typename T>
int threeWay(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}
} // namespace

CellSortKey::CellSortKey(const QString &text, const DateTextParser &dates)
    : m_strText(CellTextBeforeNul(text))
    , m_hex(ParseHex(m_strText))
    , m_number(ParseNumber(m_strText))
{
    if (const std::optional<double> date = dates.ParseOleDate(m_strText))
        m_date = DateTextParser::OleDateToTimeLine(*date);
}

int CellSortKey::Compare(const CellSortKey &a, const CellSortKey &b)
{
    if (a.m_hex && b.m_hex)
        return threeWay(*a.m_hex, *b.m_hex);
    // NaN is neither smaller nor larger: 0, both ways round.
    if (a.m_number && b.m_number)
        return threeWay(*a.m_number, *b.m_number);
    if (a.m_date && b.m_date)
        return threeWay(*a.m_date, *b.m_date);
    return threeWay(QStringView(a.m_strText).compare(b.m_strText, Qt::CaseSensitive), 0);
}

std::optional<std::uint32_t> CellSortKey::ParseHex(QStringView text)
{
    const qsizetype size = text.size();
    qsizetype pos = 0;
    while (pos < size && isCSpace(text[pos].unicode()))
        ++pos;
    bool negative = false;
    if (pos < size && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) {
        negative = text[pos] == QLatin1Char('-');
        ++pos;
    }
    if (pos + 2 < size && text[pos] == QLatin1Char('0')
        && (text[pos + 1] == QLatin1Char('x') || text[pos + 1] == QLatin1Char('X'))
        && hexDigitValue(text[pos + 2].unicode()) >= 0)
        pos += 2;

    const qsizetype firstDigit = pos;
    std::uint64_t value = 0;
    bool overflow = false;
    for (int digit; pos < size && (digit = hexDigitValue(text[pos].unicode())) >= 0; ++pos) {
        if (!overflow) {
            value = value * 16 + static_cast<std::uint64_t>(digit);
            overflow = value > 0xFFFFFFFFu;
        }
    }
    // No digits leaves the end pointer at the start of the text; anything after the digits
    // leaves it short of the end.
    if (pos == firstDigit || pos != size)
        return std::nullopt;
    if (overflow)
        return 0xFFFFFFFFu;
    const auto magnitude = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - magnitude) : magnitude;
}

std::optional<double> CellSortKey::ParseNumber(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    // strtod reads ASCII only, so any other character ends the number before the end.
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() > 0x7F)
            return std::nullopt;
        bytes.append(static_cast<char>(c.unicode()));
    }
    char *end = nullptr;
    const double value = StrtodInCLocale(bytes.constData(), &end);
    const qsizetype stop = end - bytes.constData();
    if (stop == bytes.size() || (stop == bytes.size() - 1 && bytes.back() == '%'))
        return value;
    return std::nullopt;
}
