#include "base/tasking/StationLog.h"

#include <cstdio>

namespace tavrin {

TStationLog::TStationLog(TLocalClock clock) : Clock(std::move(clock)) {}

std::string TStationLog::FormatTimeStamp(const TLocalTime& time)
{
    char text[64];
    std::snprintf(text, sizeof text, "[%04d:%02d:%02d:%02d:%02d:%02d:%03d]", time.Year, time.Month, time.Day, time.Hour,
                  time.Minute, time.Second, time.Millisecond);
    return text;
}

void TStationLog::Log(const std::string& text)
{
    std::string line = FormatTimeStamp(Clock()) + ": " + text;
    while (LogLines.size() >= MaxLines)
        LogLines.pop_front();
    LogLines.push_back(std::move(line));
    if (OnLine)
        OnLine(LogLines.back());
}

}  // namespace tavrin
