#include "base/tasking/StationLog.h"

#include "tests/support/ScratchProgramFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace tavrin {
namespace {

TEST(StationLog, LinesBeginWithTheLocalTimeStamp)
{
    struct TCase {
        TLocalTime Time;
        const char* Expected;
    };
    const TCase cases[] = {
        {{2008, 3, 14, 9, 26, 53, 120}, "[2008:03:14:09:26:53:120]: Master for job 17 complete."},
        {{1999, 12, 31, 23, 59, 59, 999}, "[1999:12:31:23:59:59:999]: Master for job 17 complete."},
        {{2026, 1, 2, 0, 0, 0, 7}, "[2026:01:02:00:00:00:007]: Master for job 17 complete."},
    };
    for (const TCase& c : cases) {
        TStationLog log([&] { return c.Time; });
        log.Log("Master for job 17 complete.");
        ASSERT_EQ(log.Lines().size(), 1u);
        EXPECT_EQ(log.Lines().front(), c.Expected);
    }
}

TEST(StationLog, KeepsTheLast201Lines)
{
    TStationLog log([] { return TLocalTime{2008, 3, 14, 9, 26, 53, 120}; });
    std::vector<std::string> shown;
    log.OnLine = [&](const std::string& line) { shown.push_back(line); };
    for (int i = 1; i <= 250; ++i)
        log.Log("line " + std::to_string(i));

    ASSERT_EQ(log.Lines().size(), 201u);
    EXPECT_EQ(log.Lines().front(), "[2008:03:14:09:26:53:120]: line 50");
    EXPECT_EQ(log.Lines().back(), "[2008:03:14:09:26:53:120]: line 250");
    EXPECT_EQ(shown.size(), 250u);
}

// The lines of a text file.
std::vector<std::string> FileLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::set<std::string> FolderNames(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(StationLog, EveryLineAlsoGoesToTheFileOfItsDayBeyondTheWindowsLines)
{
    const testing::TScratchProgramFolder folder;
    TLocalTime now{2026, 12, 10, 23, 59, 59, 500};
    TStationLog log([&] { return now; });
    log.Log("before the file");
    log.KeepFilesIn(folder.Path("log").string());
    for (int i = 1; i <= 250; ++i)
        log.Log("line " + std::to_string(i));
    now = {2026, 12, 11, 0, 0, 0, 10};
    log.Log("next day");

    const std::vector<std::string> first = FileLines(folder.Path("log") / "tavrin-2026-12-10.log");
    ASSERT_EQ(first.size(), 250u);
    EXPECT_EQ(first.front(), "[2026:12:10:23:59:59:500]: line 1");
    EXPECT_EQ(first.back(), "[2026:12:10:23:59:59:500]: line 250");
    EXPECT_EQ(FileLines(folder.Path("log") / "tavrin-2026-12-11.log"),
              std::vector<std::string>{"[2026:12:11:00:00:00:010]: next day"});
    EXPECT_EQ(log.Lines().back(), "[2026:12:11:00:00:00:010]: next day");

    // A later run appends to the day's file.
    TStationLog again([&] { return now; });
    again.KeepFilesIn(folder.Path("log").string());
    again.Log("second run");
    EXPECT_EQ(FileLines(folder.Path("log") / "tavrin-2026-12-11.log").size(), 2u);
}

TEST(StationLog, LogFilesOfDaysMoreThan30DaysAgoAreRemovedAndNothingElse)
{
    const testing::TScratchProgramFolder folder;
    const std::filesystem::path logs = folder.Path("log");
    std::filesystem::create_directories(logs);
    for (const char* name : {"tavrin-2026-11-09.log", "tavrin-2026-11-10.log", "tavrin-2025-12-10.log",
                             "tavrin-2026-02-30.log", "tavrin-2026-1-09.log", "notes-2026-01-01.log", "readme.txt"})
        std::ofstream(logs / name) << "old\n";

    TStationLog log([] { return TLocalTime{2026, 12, 10, 9, 0, 0, 0}; });
    log.KeepFilesIn(logs.string());
    log.Log("today");
    EXPECT_EQ(FolderNames(logs),
              (std::set<std::string>{"tavrin-2026-11-10.log", "tavrin-2026-12-10.log", "tavrin-2026-02-30.log",
                                     "tavrin-2026-1-09.log", "notes-2026-01-01.log", "readme.txt"}));
}

TEST(StationLog, AFileThatCannotBeWrittenIsToldOnceAndTheWindowKeepsEveryLine)
{
    const testing::TScratchProgramFolder folder;
    // A file where the log folder should be: nothing can be written below it.
    folder.Write("log", "in the way");
    TStationLog log([] { return TLocalTime{2026, 12, 10, 9, 0, 0, 0}; });
    std::vector<std::string> shown;
    log.OnLine = [&](const std::string& line) { shown.push_back(line); };
    log.KeepFilesIn(folder.Path("log").string());
    log.Log("Master for job 12 failed: disk full");
    log.Log("Sending email to a@example.com");

    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "[2026:12:10:09:00:00:000]: Master for job 12 failed: disk full");
    EXPECT_EQ(shown[1].rfind(
                  "[2026:12:10:09:00:00:000]: Cannot make the log folder " + folder.Path("log").string() + ": ", 0),
              0u)
        << shown[1];
    EXPECT_TRUE(shown[1].ends_with("; the log goes on in this window only.")) << shown[1];
    EXPECT_EQ(shown[2], "[2026:12:10:09:00:00:000]: Sending email to a@example.com");

    // Once the folder can be made, the lines go to the file again.
    std::filesystem::remove(folder.Path("log"));
    log.Log("Done sending email to a@example.com");
    EXPECT_EQ(FileLines(folder.Path("log") / "tavrin-2026-12-10.log"),
              std::vector<std::string>{"[2026:12:10:09:00:00:000]: Done sending email to a@example.com"});
    EXPECT_EQ(shown.size(), 4u);
}

}  // namespace
}  // namespace tavrin
