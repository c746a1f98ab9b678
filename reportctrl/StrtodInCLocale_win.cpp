#include "StrtodInCLocale.h"

#include <stdlib.h>

// MinGW links the old C runtime (msvcrt.dll), whose strtod predates C99: no hexadecimal numbers,
// no "nan" or "inf". MinGW's own strtod is C99's, as today's Windows runtime (UCRT) is. It reads
// the decimal point from the process's C locale, which stays "C" on Windows: Qt sets it from the
// environment on Unix only.
double StrtodInCLocale(const char *text, char **end)
{
    return __mingw_strtod(text, end);
}
