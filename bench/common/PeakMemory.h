#pragma once
// Peak memory of this process for the benchmarks: the kernel's high-water mark of the resident
// set (VmHWM), which ResetPeakMemory brings back to what is resident now, so that a step can be
// measured after the set-up that made its input.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

inline void ResetPeakMemory()
{
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Megabytes (10^6 bytes), -1 when the system does not say.
inline double PeakMemoryMB()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    double kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::atof(line + 6);
    std::fclose(f);
    return kb < 0 ? -1 : kb * 1024 / 1e6;
}

} // namespace bench
