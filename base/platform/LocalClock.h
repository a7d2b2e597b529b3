#pragma once

#include <chrono>
#include <functional>

namespace tavrin {

// A moment of the local wall clock, broken down to milliseconds.
struct TLocalTime {
    int Year = 0;
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31
    int Hour = 0;   // 0..23
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

using TLocalClock = std::function<TLocalTime()>;

TLocalTime ToLocalTime(std::chrono::system_clock::time_point moment);

// The local time now.
TLocalTime LocalNow();

}  // namespace tavrin
