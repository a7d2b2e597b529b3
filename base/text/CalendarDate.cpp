#include "base/text/CalendarDate.h"

#include <array>
#include <cstdio>

namespace tavrin {

namespace {

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

bool AllDigits(const std::string& text, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int Number(const std::string& text, std::size_t from, std::size_t count)
{
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

}  // namespace

// Howard Hinnant's days_from_civil: exact for every Gregorian date.
long TCalendarDate::DayNumber(const TCalendarDate& date)
{
    const long year = date.Year - (date.Month <= 2 ? 1 : 0);
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153L * (date.Month + (date.Month > 2 ? -3 : 9)) + 2) / 5 + date.Day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::optional<TCalendarDate> ParseCalendarDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !AllDigits(text, 0, 4) || !AllDigits(text, 5, 2) ||
        !AllDigits(text, 8, 2))
        return std::nullopt;
    const TCalendarDate date{Number(text, 0, 4), Number(text, 5, 2), Number(text, 8, 2)};
    if (date.Year < 1900 || date.Month < 1 || date.Month > 12 || date.Day < 1 ||
        date.Day > DaysInMonth(date.Year, date.Month))
        return std::nullopt;
    return date;
}

std::string CalendarDateText(const TCalendarDate& date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.Year, date.Month, date.Day);
    return text;
}

// Hinnant's civil_from_days, the inverse of DayNumber.
TCalendarDate AddDays(const TCalendarDate& date, long days)
{
    const long z = TCalendarDate::DayNumber(date) + days + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long dayOfEra = z - era * 146097;
    const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return TCalendarDate{year, month, day};
}

int Weekday(const TCalendarDate& date)
{
    // 1970-01-01 was a Thursday.
    const long number = TCalendarDate::DayNumber(date);
    return static_cast<int>(((number % 7) + 7 + 3) % 7);
}

std::string EnglishLongDate(const TCalendarDate& date)
{
    static constexpr std::array<const char*, 7> weekdays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                            "Friday", "Saturday", "Sunday"};
    static constexpr std::array<const char*, 12> months = {"January",   "February", "March",    "April",
                                                           "May",       "June",     "July",     "August",
                                                           "September", "October",  "November", "December"};
    return std::string(weekdays[static_cast<std::size_t>(Weekday(date))]) + ", " + std::to_string(date.Day) + " " +
           months[static_cast<std::size_t>(date.Month - 1)] + " " + std::to_string(date.Year);
}

}  // namespace tavrin
