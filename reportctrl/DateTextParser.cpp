#include "DateTextParser.h"

#include <QDate>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
// Julian day of 1899-12-30, day 0 of the OLE date.
constexpr qint64 kOleEpochJulianDay = 2415019;

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

void skipSpace(QStringView text, qsizetype &pos)
{
    while (pos < text.size() && text[pos].isSpace())
        ++pos;
}

qsizetype countDigits(QStringView text, qsizetype pos, qsizetype most)
{
    qsizetype n = 0;
    while (n < most && pos + n < text.size() && isAsciiDigit(text[pos + n]))
        ++n;
    return n;
}

// An optional zone after the time, read and ignored: the wall-clock time is what is compared.
// Z, a letter abbreviation (UTC, CEST) with an optional offset, or an offset such as +02:00.
bool skipZone(QStringView text, qsizetype &pos)
{
    qsizetype p = pos;
    skipSpace(text, p);
    if (p == text.size()) {
        pos = p;
        return true;
    }
    qsizetype letters = 0;
    while (p + letters < text.size() && isAsciiLetter(text[p + letters]))
        ++letters;
    if (letters == 1 && (text[p] == QLatin1Char('Z') || text[p] == QLatin1Char('z'))) {
        pos = p + 1;
        return true;
    }
    if (letters == 1 || letters > 5)
        return false;
    p += letters;
    if (p < text.size() && (text[p] == QLatin1Char('+') || text[p] == QLatin1Char('-'))) {
        ++p;
        if (countDigits(text, p, 2) != 2)
            return false;
        p += 2;
        const qsizetype colon = (p < text.size() && text[p] == QLatin1Char(':')) ? 1 : 0;
        if (countDigits(text, p + colon, 2) == 2)
            p += colon + 2;
        else if (colon)
            return false;
    } else if (letters == 0) {
        return false;
    }
    pos = p;
    return true;
}

void sortLongestFirst(auto &names)
{
    std::stable_sort(names.begin(), names.end(),
                     [](const auto &a, const auto &b) { return a.text.size() > b.text.size(); });
}
} // namespace

DateTextParser::DateTextParser(const QLocale &locale)
{
    // ISO 8601 first: it is unambiguous and the same in every locale.
    for (const char *time : {"", "'T'HH:mm", "'T'HH:mm:ss", "'T'HH:mm:ss.zzz", " HH:mm", " HH:mm:ss", " HH:mm:ss.zzz"})
        AddFormat(QStringLiteral("yyyy-MM-dd") + QLatin1String(time) + (*time ? QStringLiteral("t") : QString()), true);

    QStringList patterns{locale.dateFormat(QLocale::ShortFormat), locale.dateFormat(QLocale::LongFormat),
                         locale.dateTimeFormat(QLocale::ShortFormat), locale.dateTimeFormat(QLocale::LongFormat)};
    patterns.removeDuplicates();
    for (const QString &pattern : patterns)
        AddFormat(pattern, false);

    // Long and short names, in text and standalone forms: a text may use any of them.
    const auto collectNames = [](std::vector<Name> &names, int count, auto nameOf) {
        for (int value = 1; value <= count; ++value) {
            for (QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
                for (bool standalone : {false, true}) {
                    if (const QString name = nameOf(value, type, standalone); !name.isEmpty())
                        names.push_back({name, value});
                }
            }
        }
        sortLongestFirst(names);
    };
    collectNames(m_monthNames, 12, [&locale](int month, QLocale::FormatType type, bool standalone) {
        return standalone ? locale.standaloneMonthName(month, type) : locale.monthName(month, type);
    });
    collectNames(m_dayNames, 7, [&locale](int day, QLocale::FormatType type, bool standalone) {
        return standalone ? locale.standaloneDayName(day, type) : locale.dayName(day, type);
    });
    for (const Name &name : {Name{locale.amText(), 0}, Name{locale.pmText(), 1}, Name{QStringLiteral("AM"), 0},
                             Name{QStringLiteral("PM"), 1}}) {
        if (!name.text.isEmpty())
            m_amPm.push_back(name);
    }
    sortLongestFirst(m_amPm);
}

// Compiles a QLocale-style pattern. exactWidths: numeric fields take exactly as many digits as
// the pattern has letters (ISO); otherwise a day or month may have one or two digits and a
// year one to four.
void DateTextParser::AddFormat(const QString &pattern, bool exactWidths)
{
    Format format;
    std::vector<Token> &tokens = format.tokens;
    bool hasDay = false;
    bool hasMonth = false;
    bool hasYear = false;

    const auto appendLiteral = [&tokens](QChar c) {
        if (c.isSpace()) {
            if (tokens.empty() || tokens.back().field != Field::Space)
                tokens.push_back({Field::Space, 0, 0, {}});
        } else if (!tokens.empty() && tokens.back().field == Field::Literal) {
            tokens.back().literal += c;
        } else {
            tokens.push_back({Field::Literal, 0, 0, QString(c)});
        }
    };

    const qsizetype size = pattern.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\'')) {
            // Quoted text; two quotes are one quote character.
            ++i;
            if (i < size && pattern[i] == QLatin1Char('\'')) {
                appendLiteral(c);
                ++i;
                continue;
            }
            while (i < size) {
                if (pattern[i] == QLatin1Char('\'')) {
                    if (i + 1 < size && pattern[i + 1] == QLatin1Char('\'')) {
                        appendLiteral(c);
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                appendLiteral(pattern[i++]);
            }
            continue;
        }

        qsizetype n = 1;
        while (i + n < size && pattern[i + n] == c)
            ++n;
        const auto numeric = [&](Field field, int lenientMin, int lenientMax) {
            const int width = static_cast<int>(std::min<qsizetype>(n, 4));
            tokens.push_back({field, exactWidths ? width : lenientMin, exactWidths ? width : lenientMax, {}});
        };

        switch (c.unicode()) {
        case 'd':
            if (n >= 3) {
                tokens.push_back({Field::Weekday, 0, 0, {}});
            } else {
                numeric(Field::Day, 1, 2);
                hasDay = true;
            }
            break;
        case 'M':
            if (n >= 3)
                tokens.push_back({Field::MonthName, 0, 0, {}});
            else
                numeric(Field::Month, 1, 2);
            hasMonth = true;
            break;
        case 'y':
            // A two-letter year still takes four digits: 9/1/2020 is a date in a M/d/yy locale.
            numeric(Field::Year, 1, 4);
            hasYear = true;
            break;
        case 'h':
        case 'H': numeric(Field::Hour, 1, 2); break;
        case 'm': numeric(Field::Minute, 1, 2); break;
        case 's': numeric(Field::Second, 1, 2); break;
        case 'z':
            // Any fraction of the second to a millisecond, also in ISO texts.
            tokens.push_back({Field::Millisecond, 1, 3, {}});
            break;
        case 'a':
        case 'A':
            tokens.push_back({Field::AmPm, 0, 0, {}});
            format.twelveHour = true;
            if (n == 1 && i + 1 < size && (pattern[i + 1] == QLatin1Char('p') || pattern[i + 1] == QLatin1Char('P')))
                ++n;
            break;
        case 't':
            // The zone is optional, and so is the space in front of it.
            if (!tokens.empty() && tokens.back().field == Field::Space)
                tokens.pop_back();
            tokens.push_back({Field::Zone, 0, 0, {}});
            break;
        default:
            for (qsizetype k = 0; k < n; ++k)
                appendLiteral(c);
            break;
        }
        i += n;
    }

    if (hasDay && hasMonth && hasYear)
        m_formats.push_back(std::move(format));
}

int DateTextParser::MatchName(const std::vector<Name> &names, QStringView text, qsizetype &pos)
{
    const QStringView rest = text.mid(pos);
    for (const Name &name : names) {
        if (rest.startsWith(name.text, Qt::CaseInsensitive)) {
            pos += name.text.size();
            return name.value;
        }
    }
    return -1;
}

std::optional<double> DateTextParser::Match(const Format &format, QStringView text) const
{
    int year = -1;
    qsizetype yearDigits = 0;
    int month = -1;
    int day = -1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int pm = 0;

    qsizetype pos = 0;
    for (const Token &token : format.tokens) {
        switch (token.field) {
        case Field::Literal:
            if (!text.mid(pos).startsWith(token.literal, Qt::CaseInsensitive))
                return std::nullopt;
            pos += token.literal.size();
            break;
        case Field::Space:
            if (pos >= text.size() || !text[pos].isSpace())
                return std::nullopt;
            skipSpace(text, pos);
            break;
        case Field::Zone:
            if (!skipZone(text, pos))
                return std::nullopt;
            break;
        case Field::MonthName:
            month = MatchName(m_monthNames, text, pos);
            if (month < 0)
                return std::nullopt;
            break;
        case Field::Weekday:
            if (MatchName(m_dayNames, text, pos) < 0)
                return std::nullopt;
            break;
        case Field::AmPm:
            pm = MatchName(m_amPm, text, pos);
            if (pm < 0)
                return std::nullopt;
            break;
        default: {
            const qsizetype digits = countDigits(text, pos, token.maxDigits);
            if (digits < token.minDigits)
                return std::nullopt;
            int value = 0;
            for (qsizetype k = 0; k < digits; ++k)
                value = value * 10 + (text[pos + k].unicode() - '0');
            pos += digits;
            switch (token.field) {
            case Field::Day: day = value; break;
            case Field::Month: month = value; break;
            case Field::Year:
                year = value;
                yearDigits = digits;
                break;
            case Field::Hour: hour = value; break;
            case Field::Minute: minute = value; break;
            case Field::Second: second = value; break;
            case Field::Millisecond:
                // A fraction of the second: .5 is 500 ms.
                millisecond = value * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
                break;
            default: break;
            }
            break;
        }
        }
    }
    skipSpace(text, pos);
    if (pos != text.size())
        return std::nullopt;

    // Two-digit years fall in 1930..2029, as the OLE parser places them.
    if (yearDigits <= 2)
        year += year < 30 ? 2000 : 1900;
    if (year < 100 || year > 9999 || !QDate::isValid(year, month, day))
        return std::nullopt;
    if (format.twelveHour) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    const double days = static_cast<double>(QDate(year, month, day).toJulianDay() - kOleEpochJulianDay)
                        + (((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / 86400000.0;
    if (days >= 0)
        return days;
    // Before the epoch the OLE date keeps the day negative and counts the time forwards.
    const double wholeDays = std::floor(days);
    return wholeDays - (days - wholeDays);
}

std::optional<double> DateTextParser::ParseOleDate(QStringView text) const
{
    qsizetype start = 0;
    skipSpace(text, start);
    text = text.mid(start);
    if (text.isEmpty())
        return std::nullopt;
    for (const Format &format : m_formats) {
        if (const std::optional<double> date = Match(format, text))
            return date;
    }
    return std::nullopt;
}

double DateTextParser::OleDateToTimeLine(double oleDate)
{
    if (oleDate <= -1.0 / 172800.0) {
        const double wholeDays = std::ceil(oleDate);
        return wholeDays - (oleDate - wholeDays);
    }
    return oleDate;
}
