#pragma once

#include <compare>
#include <cstdint>
#include <functional>

// A calendar date; all fields 0 (ZeroDate) is the absence of a date.
struct TCalDate {
    std::uint16_t Year = 0;
    std::uint16_t Month = 0;
    std::uint16_t Day = 0;

    // Field by field, unsigned, nothing validated.
    auto operator<=>(const TCalDate &) const = default;
};

struct TCalTime {
    std::uint16_t Hour = 0;
    std::uint16_t Minute = 0;
    std::uint16_t Second = 0;
    bool operator==(const TCalTime &) const = default;
};

struct TCalDateTime {
    TCalDate Date;
    TCalTime Time;
    bool operator==(const TCalDateTime &) const = default;
};

inline constexpr TCalDate ZeroDate{};

// The change from the Julian to the Gregorian calendar: the dates between
// the two did not exist. Module-wide, for the whole run.
struct CalendarState {
    TCalDate LastJulianDay{1752, 9, 2};
    std::int32_t LastJulianDayNumber = 639798; // JulianDayCount(LastJulianDay)
    TCalDate FirstGregorianDay{1752, 9, 14};
};
CalendarState &Calendar();

// Month lengths by month number, February as 28. Months outside 1..12 have
// no days: a month 13 counts as the end of its year, a month 0 as its start.
int MonthTableLength(int month);

bool IsJulianLeapYear(int year);
bool IsGregorianLeapYear(int year);

bool UsesJulianRules(TCalDate d);
int MonthLength(TCalDate d);
std::int32_t JulianDayCount(TCalDate d);
void SetLastJulianDay(TCalDate d);
void SetFirstGregorianDay(TCalDate d);

// One day later by the Gregorian rules, whatever the transition.
void NextDay(TCalDate &d);

// Dates counted from FirstGregorianDay up to d, both included; 0 when d is
// earlier. Constant time.
std::int32_t DaysFromFirstGregorian(TCalDate d);

// Continuous day number (0001-01-01 is 1); -1 for year 0.
std::int32_t DayNumber(TCalDate d);

// 1 (Monday) .. 7 (Sunday); 0 for year 0.
int WeekdayNo(TCalDate d);

// The years form a ring 0, 1, ..., 9999, 0.
void NextYear(TCalDate &d);
void PrevYear(TCalDate &d);
void NextMonth(TCalDate &d);
void PrevMonth(TCalDate &d);

int CompareDates(TCalDate a, TCalDate b);
bool DatesEqual(TCalDate a, TCalDate b);
bool DateAfter(TCalDate a, TCalDate b);
bool DateBefore(TCalDate a, TCalDate b);
bool DateNotAfter(TCalDate a, TCalDate b);

// The platform's date-time value: days since 1899-12-30, the fraction the
// time of day (for negative values the fraction's size is the time).
TCalDate DateFromDateTime(double v);
TCalTime TimeFromDateTime(double v);
TCalDateTime DateTimeFrom(double v);
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int ms = 0);

// The local clock.
double NowValue();
TCalDate Today();
TCalTime TimeNow();
// The date and the time of one reading of `clock`.
TCalDateTime NowDateTime(const std::function<double()> &clock = NowValue);
