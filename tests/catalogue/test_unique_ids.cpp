#include "base/catalogue/UniqueIDs.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tavrin;

namespace {

TLocalTime Moment(const std::string& id)
{
    return {std::stoi(id.substr(0, 4)), std::stoi(id.substr(4, 2)),  std::stoi(id.substr(6, 2)),
            std::stoi(id.substr(8, 2)), std::stoi(id.substr(10, 2)), std::stoi(id.substr(12, 2)),
            std::stoi(id.substr(14, 3))};
}

}  // namespace

TEST(UniqueIDs, TheClockWinsWhenItIsPastTheLastIdElseTheLastIdPlusOneMillisecond)
{
    struct TCase {
        const char* Now;
        const char* Last;
        const char* Expected;
    };
    const TCase cases[] = {
        {"20261210160405123", "", "20261210160405123"},
        {"20261210160405123", "20261210160405122", "20261210160405123"},
        // The clock has not moved on, or has stepped back.
        {"20261210160405123", "20261210160405123", "20261210160405124"},
        {"20261210160405000", "20261210160409998", "20261210160409999"},
        // Carries through seconds, minutes, hours, days, months and years.
        {"20261210160405000", "20261210160459999", "20261210160500000"},
        {"20261210160405000", "20261231235959999", "20270101000000000"},
        {"20240101000000000", "20240228235959999", "20240229000000000"},
        {"20230101000000000", "20230228235959999", "20230301000000000"},
        {"20000101000000000", "20000229235959999", "20000301000000000"},
        {"21000101000000000", "21000228235959999", "21000301000000000"},
        {"20260101000000000", "20260430235959999", "20260501000000000"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(NextUniqueID(Moment(c.Now), c.Last), c.Expected) << c.Now << " after " << c.Last;
}

TEST(UniqueIDs, ALastIdThatIsNoMomentIsRefused)
{
    const TLocalTime now = Moment("20261210160405123");
    for (const char* last :
         {"2026121016040512", "2026121016040512x", "20261310160405123", "20260230160405123", "20261210246005123"})
        EXPECT_THROW(NextUniqueID(now, last), std::invalid_argument) << last;
    EXPECT_THROW(NextUniqueID(now, "99991231235959999"), std::invalid_argument);
}
