#pragma once

#include <optional>
#include <string>

namespace tavrin {

// A day of the Gregorian calendar, without a time or a zone: a due date
// means the same day wherever the station and the customer are.
struct TCalendarDate {
    int Year = 0;
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31

    friend bool operator==(const TCalendarDate& a, const TCalendarDate& b)
    {
        return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day;
    }
    friend bool operator!=(const TCalendarDate& a, const TCalendarDate& b) { return !(a == b); }
    friend bool operator<(const TCalendarDate& a, const TCalendarDate& b) { return DayNumber(a) < DayNumber(b); }
    friend bool operator<=(const TCalendarDate& a, const TCalendarDate& b) { return !(b < a); }

    // Days since 1970-01-01 (negative before it).
    static long DayNumber(const TCalendarDate& date);
};

// "2026-12-18" as a date; nothing for any other text, for a day the month
// does not have, and for a year outside 1900..9999.
std::optional<TCalendarDate> ParseCalendarDate(const std::string& text);

// "2026-12-18".
std::string CalendarDateText(const TCalendarDate& date);

// The date that many days later (earlier for a negative count).
TCalendarDate AddDays(const TCalendarDate& date, long days);

// 0 for Monday .. 6 for Sunday.
int Weekday(const TCalendarDate& date);

// How a mail in English names the day: "Friday, 18 December 2026".
std::string EnglishLongDate(const TCalendarDate& date);

}  // namespace tavrin
