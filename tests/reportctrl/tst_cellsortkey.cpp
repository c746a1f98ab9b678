#include "CellSortKey.h"
#include "DateTextParser.h"

#include <QRandomGenerator>
#include <QTest>

#include <clocale>
#include <cmath>
#include <vector>

namespace {
constexpr double kInvalid = -1e300;

qint64 hexOf(QStringView text)
{
    const auto value = CellSortKey::ParseHex(text);
    return value ? qint64(*value) : -1;
}

double numberOf(QStringView text)
{
    return CellSortKey::ParseNumber(text).value_or(kInvalid);
}

double oleDateOf(const DateTextParser &dates, QStringView text)
{
    return dates.ParseOleDate(text).value_or(kInvalid);
}

int compareTexts(const QString &a, const QString &b, const QLocale &locale = QLocale::c())
{
    const DateTextParser dates(locale);
    return CellSortKey::Compare(CellSortKey(a, dates), CellSortKey(b, dates));
}

// Texts at the edges of every rule, and a few hundred random ones made of the characters the
// rules look at.
QStringList awkwardTexts()
{
    QStringList texts{QString(),
                      QStringLiteral(" "),
                      QStringLiteral("0"),
                      QStringLiteral("-0"),
                      QStringLiteral("+0"),
                      QStringLiteral("0x"),
                      QStringLiteral("0x10"),
                      QStringLiteral("-1"),
                      QStringLiteral("FFFFFFFF"),
                      QStringLiteral("100000000"),
                      QStringLiteral("1e3"),
                      QStringLiteral("1e400"),
                      QStringLiteral("-1e400"),
                      QStringLiteral("1e-400"),
                      QStringLiteral("nan"),
                      QStringLiteral("-nan"),
                      QStringLiteral("inf"),
                      QStringLiteral("-infinity"),
                      QStringLiteral("%"),
                      QStringLiteral("50%"),
                      QStringLiteral("50%%"),
                      QStringLiteral("7.5"),
                      QStringLiteral("7,5"),
                      QStringLiteral("abc"),
                      QStringLiteral("ABC"),
                      QStringLiteral("\t5"),
                      QStringLiteral("5\t"),
                      QStringLiteral("00:1A:2B:3C:4D:5E"),
                      QStringLiteral("10.77.1.20"),
                      QStringLiteral("2021-03-04"),
                      QStringLiteral("1899-12-29T06:00"),
                      QStringLiteral("1 Mar 1950"),
                      QString(QChar(0)),
                      QString::fromUtf16(u"ab\0c", 4),
                      QString::fromUtf16(u"12\0ab", 5),
                      QString(QChar(0xD800)),
                      QString::fromLatin1("\xe9\xff 5"),
                      QStringLiteral("0x1p3"),
                      QStringLiteral("1e")};
    const QString alphabet = QString::fromUtf16(u"0123456789abcdefxX+-.%: eE\t\u00e9\u00a0/T");
    QRandomGenerator random(7);
    for (int n = 0; n < 300; ++n) {
        QString text;
        const int length = random.bounded(14);
        for (int k = 0; k < length; ++k) {
            text += random.bounded(10) == 0 ? QChar(static_cast<char16_t>(random.bounded(0x10000)))
                                            : alphabet[random.bounded(alphabet.size())];
        }
        texts.append(text);
    }
    return texts;
}
} // namespace

class TestCellSortKey : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRuleBothTextsPassDecides_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("expected");

        QTest::newRow("digits read as hex: 10 after 9") << "10"
                                                        << "9"
                                                        << "C" << 1;
        QTest::newRow("digits read as hex: 2 before 9") << "2"
                                                        << "9"
                                                        << "C" << -1;
        QTest::newRow("abc is 0xABC, after 5") << "abc"
                                               << "5"
                                               << "C" << 1;
        QTest::newRow("A after 9") << "A"
                                   << "9"
                                   << "C" << 1;
        QTest::newRow("hex prefix and leading space") << " 0x1F"
                                                      << "30"
                                                      << "C" << -1;
        QTest::newRow("1e3 is hex before it is a number") << "1e3"
                                                          << "999"
                                                          << "C" << -1;
        QTest::newRow("minus one is 0xFFFFFFFF") << "-1"
                                                 << "FFFFFFFF"
                                                 << "C" << 0;
        QTest::newRow("hex saturates") << "123456789ABCDEF"
                                       << "100000000"
                                       << "C" << 0;
        QTest::newRow("trailing space fails hex and number") << "10 "
                                                             << "9"
                                                             << "C" << -1;
        QTest::newRow("7.5 before 50%") << "7.5"
                                        << "50%"
                                        << "C" << -1;
        QTest::newRow("50% before 100%") << "50%"
                                         << "100%"
                                         << "C" << -1;
        QTest::newRow("only one per-cent sign") << "50%%"
                                                << "6"
                                                << "C" << -1;
        QTest::newRow("negative decimals") << "-7.5"
                                           << "-7"
                                           << "C" << -1;
        QTest::newRow("not a number compares equal") << "nan"
                                                     << "1"
                                                     << "C" << 0;
        QTest::newRow("empty text fails the numeric rules") << ""
                                                            << "0"
                                                            << "C" << -1;
        QTest::newRow("text is ordinal and case-sensitive") << "xyz"
                                                            << "XYZ"
                                                            << "C" << 1;
        QTest::newRow("MAC addresses compare as text") << "00:1A:2B:3C:4D:5E"
                                                       << "00:1A:2B:3C:4D:5F"
                                                       << "C" << -1;
        QTest::newRow("date against text") << "2021-03-04"
                                           << "abc"
                                           << "C" << -1;
        QTest::newRow("locale dates in time order") << "9/1/2020"
                                                    << "10/1/2020"
                                                    << "en_US" << -1;
        QTest::newRow("short year") << "12/31/99"
                                    << "1/1/00"
                                    << "en_US" << -1;
        QTest::newRow("text after NUL is not seen") << QString::fromUtf16(u"12\0ab", 5) << "12"
                                                    << "C" << 0;
    }

    void firstRuleBothTextsPassDecides()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QString, locale);
        QFETCH(int, expected);
        const QLocale dateLocale = locale == QLatin1String("C") ? QLocale::c() : QLocale(locale);
        QCOMPARE(compareTexts(a, b, dateLocale), expected);
        QCOMPARE(compareTexts(b, a, dateLocale), -expected);
    }

    void hexReadsLikeStrtoul()
    {
        QCOMPARE(hexOf(u"ff"), 0xFF);
        QCOMPARE(hexOf(u" \t+0X1a"), 0x1A);
        QCOMPARE(hexOf(u"-5"), 0xFFFFFFFB);
        QCOMPARE(hexOf(u"-123456789"), 0xFFFFFFFF);
        QCOMPARE(hexOf(u"00000000000000000001"), 1);
        for (const char16_t *text : {u"", u" ", u"-", u"0x", u"0xg", u"1 ", u"1g", u"++1", u"0x-1", u"\u00e91"})
            QVERIFY2(hexOf(text) == -1, QString::fromUtf16(text).toUtf8());
    }

    void numberReadsLikeStrtod()
    {
        QCOMPARE(numberOf(u"7.5"), 7.5);
        QCOMPARE(numberOf(u" -2.5e1%"), -25.0);
        QCOMPARE(numberOf(u"0x1p3"), 8.0);
        QVERIFY(std::isinf(numberOf(u"1e999")));
        for (const char16_t *text : {u"", u"7,5", u"7.5 ", u"50%%", u"5%0", u"five", u"7.5\u00a0"})
            QVERIFY2(numberOf(text) == kInvalid, QString::fromUtf16(text).toUtf8());
    }

    void numbersIgnoreTheProcessLocale()
    {
        const QByteArray previous = std::setlocale(LC_NUMERIC, nullptr);
        bool commaLocale = false;
        for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
            if (std::setlocale(LC_NUMERIC, name)) {
                commaLocale = true;
                break;
            }
        }
        if (!commaLocale)
            QSKIP("no locale with a decimal comma is installed");
        const double number = numberOf(u"7.5");
        const double comma = numberOf(u"7,5");
        std::setlocale(LC_NUMERIC, previous.constData());
        QCOMPARE(number, 7.5);
        QCOMPARE(comma, kInvalid);
    }

    void datesCompareInTimeOrder()
    {
        // Before 1899-12-30 the OLE date counts the time forwards from a negative day: 06:00
        // on 1899-12-29 is -1.25 and 18:00 is -1.75, and must still come first.
        const QStringList inTimeOrder{QStringLiteral("0100-01-01"),
                                      QStringLiteral("1850-06-01"),
                                      QStringLiteral("1899-12-29"),
                                      QStringLiteral("1899-12-29T06:00"),
                                      QStringLiteral("1899-12-29 18:00"),
                                      QStringLiteral("1899-12-30"),
                                      QStringLiteral("1899-12-30T00:00:01"),
                                      QStringLiteral("1 Jan 1900"),
                                      QStringLiteral("1 Mar 1950"),
                                      QStringLiteral("2021-03-04 10:11:12"),
                                      QStringLiteral("Thursday, 4 March 2021 10:11:13"),
                                      QStringLiteral("2021-03-04T10:11:13.5Z"),
                                      QStringLiteral("9999-12-31T23:59:59")};
        for (qsizetype i = 0; i < inTimeOrder.size(); ++i) {
            for (qsizetype j = 0; j < inTimeOrder.size(); ++j) {
                const int expected = i < j ? -1 : (i > j ? 1 : 0);
                QVERIFY2(compareTexts(inTimeOrder[i], inTimeOrder[j]) == expected,
                         qPrintable(inTimeOrder[i] + QLatin1String(" vs ") + inTimeOrder[j]));
            }
        }
    }

    void parsesOleDates()
    {
        const DateTextParser iso(QLocale::c());
        QCOMPARE(oleDateOf(iso, u"1899-12-30"), 0.0);
        QCOMPARE(oleDateOf(iso, u"1900-01-01"), 2.0);
        QCOMPARE(oleDateOf(iso, u"  2021-03-04T12:00:00 "), 44259.5);
        QCOMPARE(oleDateOf(iso, u"1899-12-29T06:00:00"), -1.25);
        QCOMPARE(DateTextParser::OleDateToTimeLine(-1.25), -0.75);
        QCOMPARE(DateTextParser::OleDateToTimeLine(-1.0 / 172800.0 / 2), -1.0 / 172800.0 / 2);

        const DateTextParser us(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(oleDateOf(us, u"3/4/21"), 44259.0);
        QCOMPARE(oleDateOf(us, u"3/4/21 12:00 PM"), 44259.5);
        QCOMPARE(oleDateOf(us, u"Thursday, MARCH 4, 2021"), 44259.0);
        const DateTextParser german(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(oleDateOf(german, u"04.03.21"), 44259.0);
        QCOMPARE(oleDateOf(german, u"Donnerstag, 4. M\u00e4rz 2021"), 44259.0);
    }

    void deviceTextsAreNotDates()
    {
        const QStringList texts{QStringLiteral("00:1A:2B:3C:4D:5E"),
                                QStringLiteral("10.77.1.20"),
                                QStringLiteral("192.168.0.1"),
                                QStringLiteral("10:11"),
                                QStringLiteral("V2.1.3 build 20230611"),
                                QStringLiteral("1.0.2"),
                                QStringLiteral("2021-02-29"),
                                QStringLiteral("2021-03-04T24:30"),
                                QStringLiteral("0099-01-01"),
                                QStringLiteral("Mar 2021"),
                                QStringLiteral("12345")};
        for (const QLocale &locale :
             {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
              QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Japanese, QLocale::Japan),
              QLocale(QLocale::English, QLocale::UnitedKingdom)}) {
            const DateTextParser dates(locale);
            for (const QString &text : texts)
                QVERIFY2(!dates.ParseOleDate(text), qPrintable(locale.name() + QLatin1Char(' ') + text));
        }
    }

    void comparisonIsAntisymmetric()
    {
        const DateTextParser dates(QLocale(QLocale::English, QLocale::UnitedStates));
        const QStringList texts = awkwardTexts();
        std::vector<CellSortKey> keys;
        for (const QString &text : texts)
            keys.emplace_back(text, dates);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            QCOMPARE(CellSortKey::Compare(keys[i], CellSortKey(texts[static_cast<qsizetype>(i)], dates)), 0);
            for (std::size_t j = 0; j < keys.size(); ++j) {
                const int forward = CellSortKey::Compare(keys[i], keys[j]);
                if (forward != -CellSortKey::Compare(keys[j], keys[i]) || forward < -1 || forward > 1)
                    QFAIL(qPrintable(QStringLiteral("not antisymmetric: '%1' '%2'")
                                         .arg(texts[static_cast<qsizetype>(i)], texts[static_cast<qsizetype>(j)])));
            }
        }
    }

    void hugeTextsCompare()
    {
        const QString manyDigits = QLatin1Char('1') + QString(1 << 20, QLatin1Char('0'));
        QCOMPARE(compareTexts(manyDigits, QStringLiteral("FFFFFFFF")), 0);
        const QString longDecimal = QStringLiteral("0.") + QString(1 << 20, QLatin1Char('5'));
        QCOMPARE(compareTexts(longDecimal, QStringLiteral("0.6")), -1);

        QString binary(1 << 20, Qt::Uninitialized);
        QRandomGenerator random(11);
        for (QChar &c : binary)
            c = QChar(static_cast<char16_t>(random.bounded(0x10000)));
        const int forward = compareTexts(binary, manyDigits);
        QCOMPARE(compareTexts(manyDigits, binary), -forward);
    }
};

QTEST_APPLESS_MAIN(TestCellSortKey)
#include "tst_cellsortkey.moc"
