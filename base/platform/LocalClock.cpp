#include "base/platform/LocalClock.h"

#include <ctime>

namespace tavrin {

TLocalTime ToLocalTime(std::chrono::system_clock::time_point moment)
{
    using namespace std::chrono;
    const auto seconds = time_point_cast<std::chrono::seconds>(moment);
    const auto milliseconds = duration_cast<std::chrono::milliseconds>(moment - seconds).count();
    const std::time_t stamp = system_clock::to_time_t(seconds);
    std::tm parts{};
    localtime_r(&stamp, &parts);
    return TLocalTime{
        parts.tm_year + 1900,          parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
        static_cast<int>(milliseconds)};
}

TLocalTime LocalNow()
{
    return ToLocalTime(std::chrono::system_clock::now());
}

}  // namespace tavrin
