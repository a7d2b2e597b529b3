#include "base/catalogue/UniqueIDs.h"

#include "base/catalogue/OutputLayout.h"

#include <cstdio>
#include <stdexcept>

namespace tavrin {

namespace {

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}

int Digits(const std::string& text, std::size_t at, std::size_t count)
{
    return std::stoi(text.substr(at, count));
}

// One millisecond later, carried through the calendar.
TLocalTime NextMillisecond(TLocalTime moment)
{
    if (++moment.Millisecond < 1000)
        return moment;
    moment.Millisecond = 0;
    if (++moment.Second < 60)
        return moment;
    moment.Second = 0;
    if (++moment.Minute < 60)
        return moment;
    moment.Minute = 0;
    if (++moment.Hour < 24)
        return moment;
    moment.Hour = 0;
    if (++moment.Day <= DaysInMonth(moment.Year, moment.Month))
        return moment;
    moment.Day = 1;
    if (++moment.Month <= 12)
        return moment;
    moment.Month = 1;
    ++moment.Year;
    return moment;
}

}  // namespace

std::string UniqueIDText(const TLocalTime& moment)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%03d", moment.Year, moment.Month, moment.Day, moment.Hour,
                  moment.Minute, moment.Second, moment.Millisecond);
    return text;
}

std::optional<TLocalTime> UniqueIDMoment(const std::string& id)
{
    if (!IsUniqueID(id))
        return std::nullopt;
    const TLocalTime moment{Digits(id, 0, 4),  Digits(id, 4, 2),  Digits(id, 6, 2), Digits(id, 8, 2),
                            Digits(id, 10, 2), Digits(id, 12, 2), Digits(id, 14, 3)};
    if (moment.Month < 1 || moment.Month > 12 || moment.Day < 1 ||
        moment.Day > DaysInMonth(moment.Year, moment.Month) || moment.Hour > 23 || moment.Minute > 59 ||
        moment.Second > 59)
        return std::nullopt;
    return moment;
}

std::string NextUniqueID(const TLocalTime& now, const std::string& lastIssued)
{
    std::string own = UniqueIDText(now);
    if (lastIssued.empty())
        return own;
    const std::optional<TLocalTime> last = UniqueIDMoment(lastIssued);
    if (!last)
        throw std::invalid_argument("not a unique id: \"" + lastIssued + "\"");
    if (own > lastIssued)
        return own;
    std::string next = UniqueIDText(NextMillisecond(*last));
    if (!IsUniqueID(next))
        throw std::invalid_argument("no unique id follows \"" + lastIssued + "\"");
    return next;
}

}  // namespace tavrin
