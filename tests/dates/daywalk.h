#pragma once

#include "caldate.h"

// The day count done the long way, as the reference the constant-time
// computation must agree with.

inline std::int32_t WalkJulianDayCount(TCalDate d)
{
    std::int32_t n = 0;
    for (int y = 1; y <= int(d.Year) - 1; ++y)
        n += IsJulianLeapYear(y) ? 366 : 365;
    const bool leap = UsesJulianRules(d) ? IsJulianLeapYear(d.Year) : IsGregorianLeapYear(d.Year);
    for (int m = 1; m <= int(d.Month) - 1; ++m)
        n += m == 2 ? (leap ? 29 : 28) : MonthTableLength(m);
    return n + d.Day;
}

// Day by day from the first Gregorian day; the walk ends where the year
// ring wraps back to year 0.
inline std::int32_t WalkDaysFromFirstGregorian(TCalDate d)
{
    TCalDate c = Calendar().FirstGregorianDay;
    std::int32_t count = 0;
    while (DateNotAfter(c, d)) {
        ++count;
        const auto year = c.Year;
        NextDay(c);
        if (c.Year == 0 && year != 0)
            break;
    }
    return count;
}

// The day number by its defining steps, with the walk above.
template <typename JulianCount, typename Walk>
std::int32_t StepwiseDayNumber(TCalDate d, JulianCount julian, Walk walk)
{
    if (d.Year == 0)
        return -1;
    const CalendarState &cal = Calendar();
    if (DateAfter(d, cal.LastJulianDay) && DateBefore(d, cal.FirstGregorianDay))
        d = cal.LastJulianDay;
    const std::int32_t base = DateAfter(d, cal.LastJulianDay) ? cal.LastJulianDayNumber : julian(d);
    return DateBefore(d, cal.FirstGregorianDay) ? base : base + walk(d);
}
