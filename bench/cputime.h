#pragma once
// Processor time for the benchmarks, in milliseconds: of the calling thread, or of the
// whole process (all its threads, the sound client's too).
#include <ctime>

namespace anodix::bench {

inline double CpuMillis(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}
inline double ThreadMillis() { return CpuMillis(CLOCK_THREAD_CPUTIME_ID); }
inline double ProcessMillis() { return CpuMillis(CLOCK_PROCESS_CPUTIME_ID); }

}  // namespace anodix::bench
