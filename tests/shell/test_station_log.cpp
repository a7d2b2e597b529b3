#include "base/tasking/StationLog.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tavrin
