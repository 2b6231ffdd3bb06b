#include "caldate.h"
#include "datetext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace {

constexpr TCalDate D(int y, int m, int d)
{
    return {std::uint16_t(y), std::uint16_t(m), std::uint16_t(d)};
}

class CalDate : public ::testing::Test {
  protected:
    void SetUp() override { DatesStartUp(); }
    void TearDown() override { DatesStartUp(); }
    static void Transition(TCalDate last, TCalDate first)
    {
        SetLastJulianDay(last);
        SetFirstGregorianDay(first);
    }
};

} // namespace

TEST_F(CalDate, StartUpTransition)
{
    EXPECT_EQ(Calendar().LastJulianDay, D(1752, 9, 2));
    EXPECT_EQ(Calendar().FirstGregorianDay, D(1752, 9, 14));
    EXPECT_EQ(Calendar().LastJulianDayNumber, JulianDayCount(D(1752, 9, 2)));
    EXPECT_EQ(CalendarState{}.LastJulianDayNumber, Calendar().LastJulianDayNumber)
        << "the built-in default agrees with the start-up";
}

TEST_F(CalDate, DayNumbersAndWeekdaysAroundTheChange)
{
    EXPECT_EQ(DayNumber(D(1, 1, 1)), 1);
    EXPECT_EQ(WeekdayNo(D(1, 1, 1)), 6);
    const int last = DayNumber(D(1752, 9, 2));
    EXPECT_EQ(WeekdayNo(D(1752, 9, 2)), 3);
    for (int day = 3; day <= 13; ++day) {
        EXPECT_EQ(DayNumber(D(1752, 9, day)), last) << day;
        EXPECT_EQ(WeekdayNo(D(1752, 9, day)), 3) << day;
    }
    EXPECT_EQ(DayNumber(D(1752, 9, 14)), last + 1);
    EXPECT_EQ(WeekdayNo(D(1752, 9, 14)), 4);
    EXPECT_EQ(DayNumber(D(1752, 9, 15)), last + 2);
    EXPECT_EQ(WeekdayNo(D(1752, 9, 15)), 5);
    EXPECT_EQ(WeekdayNo(D(2000, 1, 1)), 6);
    EXPECT_EQ(WeekdayNo(D(2024, 5, 6)), 1);
    EXPECT_EQ(DayNumber(D(2024, 5, 6)) - DayNumber(D(2000, 1, 1)), 8892);
    EXPECT_EQ(WeekdayNo(D(1582, 10, 4)), 4);
    EXPECT_EQ(WeekdayNo(D(1582, 10, 15)), 1);
    // The astronomers' Julian Day Number of 2000-01-01 is 2451545, of
    // Julian 0001-01-01 it is 1721424.
    EXPECT_EQ(DayNumber(D(2000, 1, 1)), 2451545 - 1721424 + 1);
}

TEST_F(CalDate, DaysBeyondTheirMonth)
{
    EXPECT_EQ(DayNumber(D(2024, 4, 31)), DayNumber(D(2024, 4, 30)));
    EXPECT_EQ(WeekdayNo(D(2024, 4, 30)), 2);
    EXPECT_EQ(DayNumber(D(1500, 4, 31)), DayNumber(D(1500, 5, 1)));
    EXPECT_EQ(WeekdayNo(D(1500, 5, 1)), 5);
    EXPECT_EQ(DayNumber(D(2023, 2, 29)), DayNumber(D(2023, 2, 28)));
}

TEST_F(CalDate, MonthLengthsFollowTheRulesOfTheDate)
{
    EXPECT_EQ(MonthLength(D(1700, 2, 1)), 29);
    EXPECT_EQ(MonthLength(D(1800, 2, 1)), 28);
    EXPECT_EQ(MonthLength(D(2000, 2, 1)), 29);
    EXPECT_EQ(MonthLength(D(1900, 2, 1)), 28);
    EXPECT_EQ(MonthLength(D(2023, 4, 1)), 30);
    // Months outside the table have no days, and read nothing outside it.
    EXPECT_EQ(MonthLength(D(2024, 0, 1)), 0);
    EXPECT_EQ(MonthLength(D(2024, 13, 1)), 0);
    EXPECT_EQ(MonthLength(D(2024, 65535, 1)), 0);
    EXPECT_EQ(JulianDayCount(D(1500, 13, 5)), JulianDayCount(D(1501, 1, 5)));
    EXPECT_EQ(JulianDayCount(D(1500, 0, 5)), JulianDayCount(D(1500, 1, 5)));
    EXPECT_EQ(JulianDayCount(D(1500, 40, 5)), JulianDayCount(D(1501, 1, 5)));

    // A transition inside February: each day sees its own rules.
    Transition(D(1700, 2, 18), D(1700, 3, 1));
    EXPECT_EQ(MonthLength(D(1700, 2, 18)), 29);
    EXPECT_EQ(MonthLength(D(1700, 2, 19)), 28);
}

TEST_F(CalDate, OtherTransitions)
{
    const int startUp = DayNumber(D(2024, 5, 6));
    Transition(D(1700, 2, 18), D(1700, 3, 1));
    EXPECT_EQ(WeekdayNo(D(1700, 2, 18)), 7);
    EXPECT_EQ(WeekdayNo(D(1700, 2, 19)), 7);
    EXPECT_EQ(DayNumber(D(1700, 2, 19)), DayNumber(D(1700, 2, 18)));
    EXPECT_EQ(DayNumber(D(1700, 3, 1)), DayNumber(D(1700, 2, 18)) + 1);
    EXPECT_EQ(WeekdayNo(D(1700, 3, 1)), 1);

    Transition(D(1582, 10, 4), D(1582, 10, 15));
    EXPECT_EQ(WeekdayNo(D(1582, 10, 15)), 5);
    EXPECT_EQ(MonthLength(D(1700, 2, 1)), 28);
    EXPECT_EQ(DayNumber(D(2024, 5, 6)), startUp);
}

TEST_F(CalDate, YearZeroIsNoDay)
{
    EXPECT_EQ(DayNumber(D(0, 5, 6)), -1);
    EXPECT_EQ(WeekdayNo(D(0, 5, 6)), 0);
    EXPECT_EQ(WeekdayNo(ZeroDate), 0);
}

TEST_F(CalDate, StepsRunOnTheYearRing)
{
    TCalDate d = D(2024, 1, 31);
    NextMonth(d);
    EXPECT_EQ(d, D(2024, 2, 31)) << "the day is kept";
    d = D(2024, 1, 15);
    PrevMonth(d);
    EXPECT_EQ(d, D(2023, 12, 15));
    d = D(9999, 6, 1);
    NextYear(d);
    EXPECT_EQ(d.Year, 0);
    d = D(9999, 12, 3);
    NextMonth(d);
    EXPECT_EQ(d, D(0, 1, 3));
    d = D(1, 3, 3);
    PrevYear(d);
    EXPECT_EQ(d.Year, 0);
    PrevYear(d);
    EXPECT_EQ(d.Year, 9999);
    d = D(0, 1, 3);
    PrevMonth(d);
    EXPECT_EQ(d, D(9999, 12, 3));
    d = D(12000, 5, 5);
    NextYear(d);
    EXPECT_EQ(d.Year, 0) << "years above the ring step to 0";
    d = D(2024, 0, 7);
    PrevMonth(d);
    EXPECT_EQ(d, D(2023, 12, 7)) << "month 0 steps back like January";
    d = D(2024, 13, 7);
    NextMonth(d);
    EXPECT_EQ(d, D(2025, 1, 7));
}

TEST_F(CalDate, NextDayIsAlwaysGregorian)
{
    TCalDate d = D(1700, 2, 28);
    NextDay(d);
    EXPECT_EQ(d, D(1700, 3, 1)) << "Julian leap year, Gregorian common";
    d = D(2024, 2, 28);
    NextDay(d);
    EXPECT_EQ(d, D(2024, 2, 29));
    NextDay(d);
    EXPECT_EQ(d, D(2024, 3, 1));
    d = D(2024, 4, 31);
    NextDay(d);
    EXPECT_EQ(d, D(2024, 5, 1));
    d = D(2024, 12, 31);
    NextDay(d);
    EXPECT_EQ(d, D(2025, 1, 1));
    d = D(2024, 14, 3);
    NextDay(d);
    EXPECT_EQ(d, D(2025, 1, 1));
}

TEST_F(CalDate, ComparisonIsFieldByField)
{
    EXPECT_EQ(CompareDates(D(2024, 2, 31), D(2024, 3, 1)), -1);
    EXPECT_EQ(CompareDates(D(2024, 3, 1), D(2024, 2, 31)), 1);
    EXPECT_EQ(CompareDates(D(2024, 3, 1), D(2024, 3, 1)), 0);
    EXPECT_TRUE(DatesEqual(D(1, 1, 1), D(1, 1, 1)));
    EXPECT_TRUE(DateAfter(D(65535, 1, 1), D(9999, 12, 31)));
    EXPECT_TRUE(DateBefore(ZeroDate, D(0, 0, 1)));
    EXPECT_TRUE(DateNotAfter(D(5, 5, 5), D(5, 5, 5)));
    EXPECT_FALSE(DateNotAfter(D(5, 5, 6), D(5, 5, 5)));
}

TEST_F(CalDate, EndOfTheRangeIsCountedWithoutWrapping)
{
    const int last = DayNumber(D(9999, 12, 31));
    EXPECT_EQ(last, DayNumber(D(9999, 12, 30)) + 1);
    // Beyond the ring the walk ends at its last day.
    EXPECT_EQ(DayNumber(D(9999, 12, 32)), last);
    EXPECT_EQ(DayNumber(D(9999, 13, 1)), last);
    EXPECT_EQ(DayNumber(D(12345, 1, 1)), last);
}

TEST_F(CalDate, GregorianWeekdaysMatchTheStandardLibrary)
{
    using namespace std::chrono;
    const sys_days from = sys_days{year{1752} / September / 14};
    const sys_days to = sys_days{year{9999} / December / 31};
    int mismatches = 0;
    for (sys_days day = from; day <= to; day += days{1}) {
        const year_month_day ymd{day};
        const TCalDate d = D(int(ymd.year()), unsigned(ymd.month()), unsigned(ymd.day()));
        if (WeekdayNo(d) != int(weekday{day}.iso_encoding()) && ++mismatches <= 5)
            ADD_FAILURE() << int(ymd.year()) << '-' << unsigned(ymd.month()) << '-'
                          << unsigned(ymd.day());
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(CalDate, PlatformValuesDecodeToDatesAndTimes)
{
    EXPECT_EQ(DateFromDateTime(0), ZeroDate);
    EXPECT_EQ(DateFromDateTime(1), D(1899, 12, 31));
    EXPECT_EQ(DateFromDateTime(-1.25), D(1899, 12, 29));
    EXPECT_EQ(TimeFromDateTime(-1.25), (TCalTime{6, 0, 0}));
    const double v = EncodeDateTime(2024, 5, 6, 9, 5, 3);
    EXPECT_EQ(DateTimeFrom(v), (TCalDateTime{D(2024, 5, 6), {9, 5, 3}}));
    EXPECT_NEAR(EncodeDateTime(2024, 5, 6), 45418.0, 1e-9);

    // Half a second rounds up and carries on up, into the next date.
    EXPECT_EQ(TimeFromDateTime(EncodeDateTime(2024, 5, 6, 9, 5, 3, 499)), (TCalTime{9, 5, 3}));
    EXPECT_EQ(TimeFromDateTime(EncodeDateTime(2024, 5, 6, 9, 5, 3, 500)), (TCalTime{9, 5, 4}));
    EXPECT_EQ(TimeFromDateTime(EncodeDateTime(2024, 5, 6, 9, 59, 59, 700)), (TCalTime{10, 0, 0}));
    EXPECT_EQ(DateTimeFrom(EncodeDateTime(2024, 12, 31, 23, 59, 59, 600)),
              (TCalDateTime{D(2025, 1, 1), {0, 0, 0}}));
    EXPECT_EQ(DateFromDateTime(EncodeDateTime(2024, 12, 31, 23, 59, 59, 600)), D(2024, 12, 31));
}

TEST_F(CalDate, ClockReadsTheLocalDate)
{
    const TCalDateTime now = NowDateTime();
    EXPECT_GE(now.Date.Year, 2024);
    EXPECT_LE(now.Time.Hour, 23);
    EXPECT_LE(now.Time.Second, 59);
    const TCalDate today = Today();
    EXPECT_TRUE(today == now.Date || DateAfter(today, now.Date)); // midnight may pass between
}

TEST_F(CalDate, TheDateAndTimeNowComeFromOneReadingOfTheClock)
{
    const struct {
        std::vector<double> readings; // as the clock gives them, one after another
        TCalDateTime now;
    } cases[] = {
        {{EncodeDateTime(2024, 5, 6, 23, 59, 59, 700)}, {D(2024, 5, 7), {0, 0, 0}}},
        {{EncodeDateTime(2024, 12, 31, 23, 59, 59, 500)}, {D(2025, 1, 1), {0, 0, 0}}},
        {{EncodeDateTime(2024, 5, 6, 23, 59, 59, 400), EncodeDateTime(2024, 5, 7, 0, 0, 0, 100)},
         {D(2024, 5, 6), {23, 59, 59}}},
    };
    for (const auto &c : cases) {
        std::size_t next = 0;
        EXPECT_EQ(
            NowDateTime([&] { return c.readings.at(std::min(next++, c.readings.size() - 1)); }),
            c.now)
            << c.readings.front();
    }
}

TEST_F(CalDate, PlatformValuesOutsideTheDateTypeGiveZeroDateAndMidnight)
{
    const double first = EncodeDateTime(0, 1, 1);      // 0000-01-01
    const double last = EncodeDateTime(65535, 12, 31); // the last date a TCalDate holds
    const struct {
        double v;
        TCalDate date;
        TCalTime time;
    } cases[] = {
        {std::nan(""), ZeroDate, {}},
        {HUGE_VAL, ZeroDate, {}},
        {-HUGE_VAL, ZeroDate, {}},
        {1e300, ZeroDate, {}},
        {-1e300, ZeroDate, {}},
        {9223372036854775808.0, ZeroDate, {}}, // 2^63
        {last + 1, ZeroDate, {}},
        {last + 0.99999999999, ZeroDate, {}}, // rounds into the next day
        {first - 1, ZeroDate, {}},
        {last + 0.5, {65535, 12, 31}, {12, 0, 0}},
        {first - 0.25, {0, 1, 1}, {6, 0, 0}},
        {EncodeDateTime(9999, 12, 31, 23, 59, 59), {9999, 12, 31}, {23, 59, 59}},
    };
    for (const auto &c : cases) {
        const TCalDateTime dt = DateTimeFrom(c.v);
        EXPECT_EQ(dt.Date, c.date) << c.v;
        EXPECT_EQ(dt.Time, c.time) << c.v;
        EXPECT_EQ(DateFromDateTime(c.v), c.date) << c.v;
    }
}
