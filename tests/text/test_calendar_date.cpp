#include "base/text/CalendarDate.h"

#include <gtest/gtest.h>

namespace tavrin::testing {
namespace {

TEST(CalendarDate, OnlyARealDayInTheStationsFormIsADate)
{
    struct TCase {
        const char* Text;
        bool Valid;
    };
    for (const TCase& c :
         {TCase{"2026-12-18", true}, TCase{"2028-02-29", true}, TCase{"2000-02-29", true}, TCase{"2026-02-29", false},
          TCase{"1900-02-29", false}, TCase{"2026-04-31", false}, TCase{"2026-13-01", false},
          TCase{"2026-00-10", false}, TCase{"2026-12-00", false}, TCase{"2026-12-8", false}, TCase{"2026/12/18", false},
          TCase{" 2026-12-18", false}, TCase{"2026-12-18 ", false}, TCase{"1899-12-31", false}, TCase{"", false},
          TCase{"-", false}, TCase{"20a6-12-18", false}, TCase{"2026-1a-18", false}}) {
        const auto date = ParseCalendarDate(c.Text);
        EXPECT_EQ(date.has_value(), c.Valid) << c.Text;
        if (date) {
            EXPECT_EQ(CalendarDateText(*date), c.Text);
        }
    }
}

TEST(CalendarDate, DaysCountAcrossMonthsYearsAndLeapDaysAndNameTheirWeekday)
{
    const TCalendarDate due{2026, 12, 18};
    EXPECT_EQ(EnglishLongDate(due), "Friday, 18 December 2026");
    EXPECT_EQ(CalendarDateText(AddDays(due, -3)), "2026-12-15");
    EXPECT_EQ(CalendarDateText(AddDays(due, 14)), "2027-01-01");
    EXPECT_EQ(EnglishLongDate(AddDays(due, 14)), "Friday, 1 January 2027");
    EXPECT_EQ(CalendarDateText(AddDays(TCalendarDate{2028, 2, 28}, 1)), "2028-02-29");
    EXPECT_EQ(CalendarDateText(AddDays(TCalendarDate{2028, 3, 1}, -1)), "2028-02-29");
    EXPECT_EQ(EnglishLongDate(TCalendarDate{2000, 1, 1}), "Saturday, 1 January 2000");
    EXPECT_EQ(EnglishLongDate(TCalendarDate{1969, 12, 31}), "Wednesday, 31 December 1969");
    EXPECT_EQ(TCalendarDate::DayNumber(TCalendarDate{1970, 1, 1}), 0);
    EXPECT_TRUE(TCalendarDate({2026, 12, 31}) < TCalendarDate({2027, 1, 1}));
    EXPECT_FALSE(TCalendarDate({2027, 1, 1}) < TCalendarDate({2026, 12, 31}));
    // Every day of four years walks forward one day at a time.
    TCalendarDate day{2027, 1, 1};
    for (int i = 0; i < 4 * 366; ++i) {
        const TCalendarDate next = AddDays(day, 1);
        ASSERT_EQ(TCalendarDate::DayNumber(next), TCalendarDate::DayNumber(day) + 1);
        ASSERT_EQ(Weekday(next), (Weekday(day) + 1) % 7);
        ASSERT_TRUE(ParseCalendarDate(CalendarDateText(next))) << CalendarDateText(next);
        day = next;
    }
}

}  // namespace
}  // namespace tavrin::testing
