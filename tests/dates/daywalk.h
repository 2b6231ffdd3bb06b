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

// The day number by its definition, a day at a time: the calendar's dates in
// order from 0001-01-01, which is day 1, the last Julian day followed by the
// first Gregorian day. For a transition whose first Gregorian day is a real
// date after its last Julian day.
class DayWalk {
  public:
    TCalDate date{1, 1, 1};
    std::int32_t number = 1;

    // Moves on a day; false once past 9999-12-31.
    bool Next()
    {
        const CalendarState &cal = Calendar();
        if (DatesEqual(date, cal.LastJulianDay)) {
            date = cal.FirstGregorianDay;
        } else if (++date.Day > Length(date)) {
            date.Day = 1;
            if (++date.Month > 12) {
                date.Month = 1;
                ++date.Year;
            }
        }
        ++number;
        return date.Year <= 9999;
    }

  private:
    static int Length(TCalDate d)
    {
        const bool leap =
            UsesJulianRules(d) ? IsJulianLeapYear(d.Year) : IsGregorianLeapYear(d.Year);
        return d.Month == 2 ? (leap ? 29 : 28) : MonthTableLength(d.Month);
    }
};
