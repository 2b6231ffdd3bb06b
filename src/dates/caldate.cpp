#include "caldate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <sys/time.h>

namespace {

constexpr std::array<std::uint16_t, 13> MonthLengths{0,  31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};

// Days before each month in a year with a 28-day February.
constexpr std::array<int, 13> DaysBeforeMonth{0,   0,   31,  59,  90,  120, 151,
                                              181, 212, 243, 273, 304, 334};

int GregorianMonthLength(int year, int month)
{
    return month == 2 && IsGregorianLeapYear(year) ? 29 : MonthTableLength(month);
}

// Days from 0000-03-01 in the proleptic Gregorian calendar, for valid dates
// of any year from 0 up.
std::int64_t GregorianSerial(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = y >= 0 ? y / 400 : (y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const int mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void CivilFromSerial(std::int64_t z, int &y, int &m, int &d)
{
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// Serial of 1899-12-30, the platform value's day 0.
const std::int64_t kPlatformEpoch = GregorianSerial(1899, 12, 30);

// The latest real (Gregorian) date not after d; false when there is none.
bool FloorToRealDate(TCalDate d, int &y, int &m, int &day)
{
    y = d.Year;
    if (d.Month >= 13) {
        m = 12;
        day = 31;
        return true;
    }
    if (d.Month >= 1 && d.Day >= 1) {
        m = d.Month;
        day = std::min<int>(d.Day, GregorianMonthLength(y, m));
        return true;
    }
    // Day 0 of a month, or month 0: the last day before that month.
    m = d.Month;
    if (m <= 1) {
        if (y == 0)
            return false;
        --y;
        m = 12;
    } else {
        --m;
    }
    day = GregorianMonthLength(y, m);
    return true;
}

} // namespace

CalendarState &Calendar()
{
    static CalendarState state;
    return state;
}

int MonthTableLength(int month)
{
    return month >= 1 && month <= 12 ? MonthLengths[static_cast<std::size_t>(month)] : 0;
}

bool IsJulianLeapYear(int year)
{
    return year % 4 == 0;
}

bool IsGregorianLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool UsesJulianRules(TCalDate d)
{
    return !DateAfter(d, Calendar().LastJulianDay);
}

namespace {

int FebruaryLength(TCalDate d)
{
    const bool leap = UsesJulianRules(d) ? IsJulianLeapYear(d.Year) : IsGregorianLeapYear(d.Year);
    return leap ? 29 : 28;
}

} // namespace

int MonthLength(TCalDate d)
{
    return d.Month == 2 ? FebruaryLength(d) : MonthTableLength(d.Month);
}

std::int32_t JulianDayCount(TCalDate d)
{
    const std::int32_t years = d.Year >= 1 ? d.Year - 1 : 0;
    std::int32_t count = years * 365 + years / 4;
    const int monthsBefore = std::min<int>(std::max<int>(d.Month, 1) - 1, 12);
    if (monthsBefore >= 1) {
        count +=
            monthsBefore == 12 ? 365 : DaysBeforeMonth[static_cast<std::size_t>(monthsBefore + 1)];
        if (monthsBefore >= 2)
            count += FebruaryLength(d) - 28;
    }
    return count + d.Day;
}

void SetLastJulianDay(TCalDate d)
{
    Calendar().LastJulianDay = d;
    Calendar().LastJulianDayNumber = JulianDayCount(d);
}

void SetFirstGregorianDay(TCalDate d)
{
    Calendar().FirstGregorianDay = d;
}

void NextDay(TCalDate &d)
{
    if (d.Day < MonthTableLength(d.Month)) {
        ++d.Day;
    } else if (d.Month == 2 && d.Day == 28 && IsGregorianLeapYear(d.Year)) {
        d.Day = 29;
    } else {
        NextMonth(d);
        d.Day = 1;
    }
}

std::int32_t DaysFromFirstGregorian(TCalDate d)
{
    // Day by day from the first Gregorian day, the dates visited rise
    // strictly until the year ring wraps to year 0, where counting ends:
    // after the first they are the real dates from the next one on.
    const TCalDate first = Calendar().FirstGregorianDay;
    if (DateAfter(first, d))
        return 0;
    TCalDate next = first;
    NextDay(next);
    if (next.Year == 0 && first.Year != 0)
        return 1; // the first day was the last of the ring

    int y, m, day;
    if (!FloorToRealDate(d, y, m, day))
        return 1;
    // The walk never gets past the last day of the ring.
    const int lastYear = std::max<int>(next.Year, 9999);
    if (y > lastYear) {
        y = lastYear;
        m = 12;
        day = 31;
    }
    const std::int64_t from = GregorianSerial(next.Year, next.Month, next.Day);
    const std::int64_t to = GregorianSerial(y, m, day);
    return static_cast<std::int32_t>(1 + (to >= from ? to - from + 1 : 0));
}

std::int32_t DayNumber(TCalDate d)
{
    if (d.Year == 0)
        return -1;
    const CalendarState &cal = Calendar();
    if (DateAfter(d, cal.LastJulianDay) && DateBefore(d, cal.FirstGregorianDay))
        d = cal.LastJulianDay;
    const std::int32_t base =
        DateAfter(d, cal.LastJulianDay) ? cal.LastJulianDayNumber : JulianDayCount(d);
    return DateBefore(d, cal.FirstGregorianDay) ? base : base + DaysFromFirstGregorian(d);
}

int WeekdayNo(TCalDate d)
{
    if (d.Year == 0)
        return 0;
    const std::int32_t n = DayNumber(d) + 4;
    return (n % 7 + 7) % 7 + 1;
}

void NextYear(TCalDate &d)
{
    d.Year = d.Year >= 9999 ? 0 : static_cast<std::uint16_t>(d.Year + 1);
}

void PrevYear(TCalDate &d)
{
    d.Year = d.Year == 0 ? 9999 : static_cast<std::uint16_t>(d.Year - 1);
}

void NextMonth(TCalDate &d)
{
    if (d.Month + 1 > 12) {
        NextYear(d);
        d.Month = 1;
    } else {
        ++d.Month;
    }
}

void PrevMonth(TCalDate &d)
{
    // A month 0 steps back like January rather than to month 65535.
    if (d.Month <= 1) {
        PrevYear(d);
        d.Month = 12;
    } else {
        --d.Month;
    }
}

int CompareDates(TCalDate a, TCalDate b)
{
    const auto c = a <=> b;
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool DatesEqual(TCalDate a, TCalDate b)
{
    return CompareDates(a, b) == 0;
}

bool DateAfter(TCalDate a, TCalDate b)
{
    return CompareDates(a, b) == 1;
}

bool DateBefore(TCalDate a, TCalDate b)
{
    return CompareDates(a, b) == -1;
}

bool DateNotAfter(TCalDate a, TCalDate b)
{
    return CompareDates(a, b) != 1;
}

namespace {

TCalDate DateOfDay(std::int64_t day)
{
    int y, m, d;
    CivilFromSerial(kPlatformEpoch + day, y, m, d);
    return {static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(m),
            static_cast<std::uint16_t>(d)};
}

TCalTime TimeOfSeconds(std::int64_t secondsOfDay)
{
    return {static_cast<std::uint16_t>(secondsOfDay / 3600),
            static_cast<std::uint16_t>(secondsOfDay / 60 % 60),
            static_cast<std::uint16_t>(secondsOfDay % 60)};
}

// The days from the platform's day 0 that a TCalDate can hold: 0000-01-01
// to 65535-12-31.
const std::int64_t kFirstDay = GregorianSerial(0, 1, 1) - kPlatformEpoch;
const std::int64_t kLastDay = GregorianSerial(65535, 12, 31) - kPlatformEpoch;

// The whole day and the milliseconds into it; false for a value whose date
// a TCalDate can't hold (NaN and the infinities among them).
bool Split(double v, std::int64_t &day, std::int64_t &ms)
{
    if (!(v > double(kFirstDay) - 1 && v < double(kLastDay) + 1))
        return false;
    const double whole = std::trunc(v);
    day = static_cast<std::int64_t>(whole);
    ms = std::llround(std::fabs(v - whole) * 86400000.0);
    if (ms >= 86400000) { // a fraction a hair below 1: midnight of the next date
        ms -= 86400000;
        ++day;
    }
    return day >= kFirstDay && day <= kLastDay;
}

} // namespace

TCalDate DateFromDateTime(double v)
{
    std::int64_t day, ms;
    if (v == 0 || !Split(v, day, ms))
        return ZeroDate;
    return DateOfDay(day);
}

TCalDateTime DateTimeFrom(double v)
{
    std::int64_t day, ms;
    if (!Split(v, day, ms))
        return {};
    // Half a second or more rounds up; a minute of 60 seconds carries on,
    // past midnight into the next date.
    std::int64_t seconds = (ms + 500) / 1000;
    if (seconds == 86400) {
        seconds = 0;
        if (++day > kLastDay)
            return {};
    }
    TCalDateTime dt;
    dt.Date = v == 0 ? ZeroDate : DateOfDay(day);
    dt.Time = TimeOfSeconds(seconds);
    return dt;
}

TCalTime TimeFromDateTime(double v)
{
    return DateTimeFrom(v).Time;
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms)
{
    const double days = static_cast<double>(GregorianSerial(year, month, day) - kPlatformEpoch);
    const double fraction = ((hour * 60.0 + minute) * 60.0 + second + ms / 1000.0) / 86400.0;
    return days >= 0 ? days + fraction : days - fraction;
}

double NowValue()
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm local{};
    const std::time_t t = tv.tv_sec;
    localtime_r(&t, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

TCalDate Today()
{
    return DateFromDateTime(NowValue());
}

TCalTime TimeNow()
{
    return TimeFromDateTime(NowValue());
}

TCalDateTime NowDateTime(const std::function<double()> &clock)
{
    // One reading: the seconds round past midnight together with the date.
    return DateTimeFrom(clock());
}
