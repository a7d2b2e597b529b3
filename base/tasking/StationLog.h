#pragma once

#include "base/platform/LocalClock.h"
#include "base/tasking/DailyLogFile.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace tavrin {

// The station's one log: time-stamped lines, the oldest dropped beyond 201.
// Main thread only; workers reach it through their posted messages.
class TStationLog {
public:
    static constexpr std::size_t MaxLines = 201;

    explicit TStationLog(TLocalClock clock = LocalNow);

    // Appends "[yyyy:mm:dd:hh:nn:ss:zzz]: " + text, first dropping the oldest
    // lines while more than MaxLines - 1 are held.
    void Log(const std::string& text);

    const std::deque<std::string>& Lines() const { return LogLines; }

    // From now on every line also goes to the daily log files in the folder
    // (TDailyLogFile). A line the file cannot take stays in the window's
    // lines; the first such failure is told there once, and again only after
    // the file has taken a line since.
    void KeepFilesIn(const std::string& folder);

    // Called with each new line after it was appended (the window, standard output).
    std::function<void(const std::string& line)> OnLine;

    // "[2008:03:14:09:26:53:120]"
    static std::string FormatTimeStamp(const TLocalTime& time);

private:
    void Append(std::string line);

    TLocalClock Clock;
    std::deque<std::string> LogLines;
    std::unique_ptr<TDailyLogFile> File;
    bool FileFailureTold = false;
};

}  // namespace tavrin
