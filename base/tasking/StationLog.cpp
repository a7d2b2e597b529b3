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

void TStationLog::KeepFilesIn(const std::string& folder)
{
    File = std::make_unique<TDailyLogFile>(folder);
    FileFailureTold = false;
}

void TStationLog::Log(const std::string& text)
{
    const TLocalTime now = Clock();
    std::string line = FormatTimeStamp(now) + ": " + text;
    // The station goes on without its file: the lines are still in the window.
    const std::string problem = File ? File->Write(now, line) : std::string();
    Append(std::move(line));
    if (problem.empty()) {
        FileFailureTold = false;
    } else if (!FileFailureTold) {
        FileFailureTold = true;
        Append(FormatTimeStamp(now) + ": " + problem + "; the log goes on in this window only.");
    }
}

void TStationLog::Append(std::string line)
{
    while (LogLines.size() >= MaxLines)
        LogLines.pop_front();
    LogLines.push_back(std::move(line));
    if (OnLine)
        OnLine(LogLines.back());
}

}  // namespace tavrin
