#pragma once

#include "base/platform/LocalClock.h"

#include <cstdio>
#include <string>

namespace tavrin {

// The log kept on disk: every line appended to the file of its day in one
// folder, "tavrin-2026-12-10.log", so that an error is still there after the
// window's lines have moved on. When a day's file is first opened, the files
// of days more than KeepDays before it are removed; other files in the folder
// are left alone. Main thread only.
class TDailyLogFile {
public:
    static constexpr int KeepDays = 30;

    explicit TDailyLogFile(std::string folder);
    ~TDailyLogFile();
    TDailyLogFile(const TDailyLogFile&) = delete;
    TDailyLogFile& operator=(const TDailyLogFile&) = delete;

    // Appends the line to the file of the day of time. Returns "" when it was
    // written, otherwise why not (with the file's path); a later line tries again.
    std::string Write(const TLocalTime& time, const std::string& line);

    // "tavrin-2026-12-10.log"
    static std::string FileName(const TLocalTime& time);

    const std::string& Folder() const { return LogFolder; }

private:
    std::string OpenDay(const TLocalTime& time);
    void RemoveOldFiles(const TLocalTime& today) const;

    std::string LogFolder;
    std::FILE* File = nullptr;
    std::string OpenName;
};

}  // namespace tavrin
