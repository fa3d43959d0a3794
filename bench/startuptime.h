#pragma once

#include <ctime>

// CLOCK_MONOTONIC in nanoseconds. startup_bench reads it in its child just before the exec and
// the started program reads it when its window is painted: the difference is the start-up, the
// dynamic loader's work included.
inline long long monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
