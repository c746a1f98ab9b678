#include "StrtodInCLocale.h"

#include <locale.h>
#include <stdlib.h>

double StrtodInCLocale(const char *text, char **end)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(text, end, cLocale);
}
