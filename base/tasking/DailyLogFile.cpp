#include "base/tasking/DailyLogFile.h"

#include "base/platform/PrivateFile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

namespace tavrin {

namespace {

namespace fs = std::filesystem;

std::chrono::sys_days DayOf(const TLocalTime& time)
{
    return std::chrono::year_month_day(std::chrono::year(time.Year),
                                       std::chrono::month(static_cast<unsigned>(time.Month)),
                                       std::chrono::day(static_cast<unsigned>(time.Day)));
}

// The day a log file's name stands for; nothing for any other name.
std::optional<std::chrono::sys_days> DayOfName(const std::string& name)
{
    // "tavrin-" yyyy "-" mm "-" dd ".log"
    if (name.size() != 21 || name.rfind("tavrin-", 0) != 0 || name.compare(17, 4, ".log") != 0 || name[11] != '-' ||
        name[14] != '-')
        return std::nullopt;
    for (const std::size_t digit : {7u, 8u, 9u, 10u, 12u, 13u, 15u, 16u})
        if (name[digit] < '0' || name[digit] > '9')
            return std::nullopt;
    const std::chrono::year_month_day day(std::chrono::year(std::stoi(name.substr(7, 4))),
                                          std::chrono::month(static_cast<unsigned>(std::stoi(name.substr(12, 2)))),
                                          std::chrono::day(static_cast<unsigned>(std::stoi(name.substr(15, 2)))));
    if (!day.ok())
        return std::nullopt;
    return std::chrono::sys_days(day);
}

}  // namespace

TDailyLogFile::TDailyLogFile(std::string folder) : LogFolder(std::move(folder)) {}

TDailyLogFile::~TDailyLogFile()
{
    if (File)
        std::fclose(File);
}

std::string TDailyLogFile::FileName(const TLocalTime& time)
{
    char name[32];
    std::snprintf(name, sizeof name, "tavrin-%04d-%02d-%02d.log", time.Year, time.Month, time.Day);
    return name;
}

std::string TDailyLogFile::Write(const TLocalTime& time, const std::string& line)
{
    const std::string name = FileName(time);
    if (!File || name != OpenName) {
        std::string problem = OpenDay(time);
        if (!problem.empty())
            return problem;
    }
    const std::string text = line + "\n";
    if (std::fwrite(text.data(), 1, text.size(), File) != text.size() || std::fflush(File) != 0) {
        std::string problem =
            "Cannot write the log file " + (fs::path(LogFolder) / OpenName).string() + ": " + std::strerror(errno);
        // Opened afresh for the next line: the folder may be back by then.
        std::fclose(File);
        File = nullptr;
        return problem;
    }
    return {};
}

std::string TDailyLogFile::OpenDay(const TLocalTime& time)
{
    if (File) {
        std::fclose(File);
        File = nullptr;
    }
    OpenName = FileName(time);
    const fs::path path = fs::path(LogFolder) / OpenName;
    std::error_code error;
    fs::create_directories(LogFolder, error);
    if (error)
        return "Cannot make the log folder " + LogFolder + ": " + error.message();
    File = OpenPrivateFileForAppend(path.string());
    if (!File)
        return "Cannot open the log file " + path.string() + ": " + std::strerror(errno);
    RemoveOldFiles(time);
    return {};
}

void TDailyLogFile::RemoveOldFiles(const TLocalTime& today) const
{
    const std::chrono::sys_days oldestKept = DayOf(today) - std::chrono::days(KeepDays);
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(LogFolder, error)) {
        const std::optional<std::chrono::sys_days> day = DayOfName(entry.path().filename().string());
        std::error_code ignored;
        // A file that cannot be removed now is tried again on the next day.
        if (day && *day < oldestKept && entry.is_regular_file(ignored))
            fs::remove(entry.path(), ignored);
    }
}

}  // namespace tavrin
