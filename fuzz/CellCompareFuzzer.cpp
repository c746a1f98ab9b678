// Any two cell texts, in one of several locales (their date formats differ): comparing them
// never crashes, gives -1, 0 or +1, is antisymmetric, and each text equals itself; a text read
// as a date is a point in time.
// Input: byte 0 picks the locale and the encoding (UTF-8, or raw UTF-16 with lone surrogates
// and NULs), byte 1 where the rest splits into the two texts.

#include "CellSortKey.h"
#include "DateTextParser.h"
#include "FuzzCheck.h"

#include <cmath>
#include <memory>
#include <vector>

namespace {
std::vector<std::unique_ptr<DateTextParser>> *g_parsers = nullptr;

QString decode(const std::uint8_t *data, std::size_t size, bool utf16)
{
    if (!utf16)
        return QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.append(QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8))));
    return text;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_parsers = new std::vector<std::unique_ptr<DateTextParser>>;
    for (const char *name : {"C", "en_US", "de_DE", "fr_FR", "ja_JP", "ar_EG"})
        g_parsers->push_back(std::make_unique<DateTextParser>(QLocale(QString::fromLatin1(name))));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const DateTextParser &dates = *(*g_parsers)[data[0] % g_parsers->size()];
    const bool utf16 = (data[0] / g_parsers->size()) % 2 == 1;
    const std::size_t rest = size - 2;
    const std::size_t split = rest * data[1] / 255;
    const QString first = decode(data + 2, split, utf16);
    const QString second = decode(data + 2 + split, rest - split, utf16);

    for (const QString *text : {&first, &second}) {
        if (const std::optional<double> date = dates.ParseOleDate(*text))
            FUZZ_CHECK(std::isfinite(*date) && std::isfinite(DateTextParser::OleDateToTimeLine(*date)));
    }
    const CellSortKey a(first, dates);
    const CellSortKey b(second, dates);
    const int ab = CellSortKey::Compare(a, b);
    FUZZ_CHECK(ab == -1 || ab == 0 || ab == 1);
    FUZZ_CHECK(CellSortKey::Compare(b, a) == -ab);
    FUZZ_CHECK(CellSortKey::Compare(a, a) == 0);
    FUZZ_CHECK(CellSortKey::Compare(b, b) == 0);
    return 0;
}
