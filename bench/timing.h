#pragma once
// Wall-clock timing of one piece of work for the benchmarks.

#include <windows.h>

namespace bench {

// Seconds since some fixed moment, from the performance counter.
inline double now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds `work` took.
template <typename Work>
double timed(Work work) {
    const double start = now();
    work();
    return now() - start;
}

}  // namespace bench
