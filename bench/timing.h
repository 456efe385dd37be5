#pragma once
// Wall-clock timing of one piece of work for the benchmarks.

#include <windows.h>

namespace bench {

// Seconds `work` took, from the performance counter.
template <typename Work>
double timed(Work work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace bench
