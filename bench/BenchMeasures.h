#pragma once

#include <chrono>
#include <fstream>
#include <string>

namespace tavrin::bench {

using Clock = std::chrono::steady_clock;

// Seconds since start.
inline double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Peak resident memory of this process in MiB (Linux /proc).
inline double PeakMemoryMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return 0;
}

}  // namespace tavrin::bench
