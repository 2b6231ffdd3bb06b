#include "calgrid.h"

#include "datetext.h"
#include "libstate.h"
#include "textutil.h"

MonthGrid MonthGridFor(TCalDate shown)
{
    MonthGrid grid;
    const CalendarState &cal = Calendar();
    const int len = MonthLength(shown);
    TCalDate cur = shown;
    cur.Day = 1;
    if (DateAfter(cur, cal.LastJulianDay) && DateBefore(cur, cal.FirstGregorianDay))
        cur = cal.FirstGregorianDay;
    const int weekday = WeekdayNo(cur);
    if (weekday == 0)
        return grid;
    int column = weekday - 1;
    int row = 1;
    while (cur.Day <= len && cur.Year == shown.Year && cur.Month == shown.Month && row <= 6) {
        grid.days[std::size_t(row - 1)][std::size_t(column)] = cur.Day;
        if (cur.Day == shown.Day)
            grid.current = MonthGrid::Cell{column, row};
        // A transition that goes back (its first Gregorian day not after its
        // last Julian day) is not followed: the month is shown once.
        if (DatesEqual(cur, cal.LastJulianDay) && DateAfter(cal.FirstGregorianDay, cur))
            cur = cal.FirstGregorianDay;
        else
            ++cur.Day;
        if (++column > 6) {
            column = 0;
            ++row;
        }
    }
    return grid;
}

std::string DayCellText(int day)
{
    const ScopedSetting<char> spaces(Lib().PadChar, ' ');
    return "  " + PadNumber(day, 2);
}

std::string DayHeadingText(int column)
{
    return " " + ShortDayName(column + 1);
}

bool IsPlausibleDate(TCalDate d)
{
    return d.Year != 0 && d.Year != 9999 && d.Month >= 1 && d.Month <= 12 && d.Day >= 1
           && d.Day <= 31;
}
