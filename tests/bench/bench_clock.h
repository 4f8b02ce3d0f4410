#pragma once
// The clock of the benchmark programs.
#include <ctime>

// CPU time of this process: other work on a shared machine disturbs it less than wall time.
inline double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
