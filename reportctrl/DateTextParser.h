#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// Reads dates as the list's date comparison needs them: the locale's short and long date and
// date-time formats and ISO 8601. The result is an OLE automation date: days since
// 1899-12-30, the fraction the time of day; before that day the integer part is negative and
// the fraction still counts forwards (1899-12-29 06:00 is -1.25).
// Each format is compiled once, so rejecting a text costs a few character tests; a sort reads
// every cell once and most cells (MAC and IP addresses, model names) are not dates.
class DateTextParser final
{
public:
    explicit DateTextParser(const QLocale &locale);

    std::optional<double> ParseOleDate(QStringView text) const;

    // Days since 1899-12-30 on one straight time line, from the OLE encoding.
    static double OleDateToTimeLine(double oleDate);

private:
    enum class Field {
        Literal,
        Space,
        Day,
        Month,
        MonthName,
        Year,
        Weekday,
        Hour,
        Minute,
        Second,
        Millisecond,
        AmPm,
        Zone
    };

    struct Token
    {
        Field field = Field::Literal;
        int minDigits = 1;
        int maxDigits = 2;
        QString literal;
    };

    struct Format
    {
        std::vector<Token> tokens;
        bool twelveHour = false;
    };

    struct Name
    {
        QString text;
        int value = 0;
    };

    void AddFormat(const QString &pattern, bool exactWidths);
    std::optional<double> Match(const Format &format, QStringView text) const;
    static int MatchName(const std::vector<Name> &names, QStringView text, qsizetype &pos);

    std::vector<Format> m_formats;
    std::vector<Name> m_monthNames;
    std::vector<Name> m_dayNames;
    std::vector<Name> m_amPm;
};
