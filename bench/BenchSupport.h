#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <vector>

// What the benchmarks share.

// CLOCK_MONOTONIC on Linux: one clock for every process of the machine, corvane-devsim's
// reports of its sends included.
inline qint64 MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Benchmarks need no display; a platform given in the environment still wins.
inline void UseOffscreenUnlessSet()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}
