/*
 * ZEKSDK.h as a build of the library includes it: its twelve functions get default visibility,
 * while everything else in the library is built hidden. Include it first, before ZEKSDK.h.
 * The version script (ZEKSDK.map; ZEKSDK.def on Windows) then exports these and nothing more.
 */
#ifndef CORVANE_ZEKEXPORTEDAPI_H
#define CORVANE_ZEKEXPORTEDAPI_H

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#include "ZEKSDK.h"
#pragma GCC visibility pop
#else
#include "ZEKSDK.h"
#endif

#endif /* CORVANE_ZEKEXPORTEDAPI_H */
