#pragma once
// What every benchmark measures with: percentiles of a sample, the process's memory as
// the kernel counts it, and CPU time (the work's own cost on a shared machine, where
// wall time also holds other programs' turns).

#include <algorithm>
#include <cstddef>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <pthread.h>
#include <string>
#include <vector>

namespace bench {

// The nearest-rank percentile, p in [0, 1]; 0 for no values.
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// A KiB figure of a /proc file of "Key: value kB" lines by its key with the colon
// ("VmRSS:" of status, "Pss:" of smaps_rollup); -1 when the file or the key is missing.
inline long procKiB(const std::string& file, const char* key)
{
    std::ifstream in(file);
    std::string word;
    while (in >> word) {
        if (word == key) {
            long kib = 0;
            in >> kib;
            return kib;
        }
        in.ignore(1 << 16, '\n');
    }
    return -1;
}

// A KiB figure of /proc/self/status by its key with the colon ("VmRSS:", "VmHWM:").
inline long statusKiB(const char* key)
{
    const long kib = procKiB("/proc/self/status", key);
    return kib < 0 ? 0 : kib;
}

inline long residentKiB()
{
    return statusKiB("VmRSS:");
}

// The high-water mark of the resident set since start or the last reset.
inline long peakResidentKiB()
{
    return statusKiB("VmHWM:");
}

// What the heap holds in use now (glibc's count, its own mappings for large blocks
// included): what a structure keeps, however much of the freed memory the allocator
// keeps resident besides.
inline long heapInUseKiB()
{
    const struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

// Starts the high-water mark again from the resident set of now, so that the peak of one
// piece of work can be told from what came before it.
inline void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline double seconds(const timespec& t)
{
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// User and system time of all the process's threads.
inline double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return seconds(t);
}

inline double threadCpuSeconds(pthread_t thread)
{
    clockid_t clock;
    timespec t{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &t) != 0)
        return 0;
    return seconds(t);
}

} // namespace bench
