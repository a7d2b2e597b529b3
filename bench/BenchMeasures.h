#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/resource.h>

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

// Processor seconds (user and system) of this process (RUSAGE_SELF), or of
// its waited-for children (RUSAGE_CHILDREN).
inline double ProcessorSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds a shell command takes; a failure is told on standard error.
inline double TimedCommand(const std::string& command)
{
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    return Seconds(start);
}

// The machine's load average over 1 and 5 minutes, as text.
inline std::string LoadAverage()
{
    std::ifstream load("/proc/loadavg");
    std::string one, five;
    load >> one >> five;
    return one + " (1 min), " + five + " (5 min)";
}

}  // namespace tavrin::bench
