#pragma once

// strtod in the "C" locale. Qt sets the process locale from the environment at start-up, and
// strtod reads the decimal point from it: this keeps 7.5 a number for every user. The
// locale-taking variants differ between POSIX and Windows, hence one source each.
double StrtodInCLocale(const char *text, char **end);
