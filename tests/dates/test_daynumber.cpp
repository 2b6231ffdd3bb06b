// The constant-time day count against the day-by-day walk.
#include "caldate.h"
#include "daywalk.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Transition {
    TCalDate last, first;
};

void Use(const Transition &t)
{
    SetLastJulianDay(t.last);
    SetFirstGregorianDay(t.first);
}

const Transition kPresets[] = {
    {{1752, 9, 2}, {1752, 9, 14}},
    {{1582, 10, 4}, {1582, 10, 15}},
    {{1582, 12, 9}, {1582, 12, 20}},
    {{1700, 2, 18}, {1700, 3, 1}},
};

void PrintTo(const Transition &t, std::ostream *os)
{
    *os << t.last.Year << '-' << t.last.Month << '-' << t.last.Day << " / " << t.first.Year << '-'
        << t.first.Month << '-' << t.first.Day;
}

class DayNumberWalk : public ::testing::TestWithParam<Transition> {
  protected:
    void TearDown() override { Use(kPresets[0]); }
};

} // namespace

// Every year, month and day 1..31 (out-of-range days included), with one
// walker stepped once through the calendar alongside.
TEST_P(DayNumberWalk, AgreesOnEveryDateOfTheRange)
{
    Use(GetParam());

    // Julian year counts before each year, summed the long way once.
    std::vector<std::int32_t> yearsBefore(10001, 0);
    for (int y = 2; y <= 10000; ++y)
        yearsBefore[y] = yearsBefore[y - 1] + (IsJulianLeapYear(y - 1) ? 366 : 365);
    auto julian = [&](TCalDate d) {
        const bool leap =
            UsesJulianRules(d) ? IsJulianLeapYear(d.Year) : IsGregorianLeapYear(d.Year);
        std::int32_t n = yearsBefore[d.Year];
        for (int m = 1; m < d.Month; ++m)
            n += m == 2 ? (leap ? 29 : 28) : MonthTableLength(m);
        return n + d.Day;
    };

    TCalDate walker = Calendar().FirstGregorianDay;
    std::int32_t walked = 0;
    bool wrapped = false;
    int mismatches = 0;
    for (int y = 1; y <= 9999; ++y)
        for (int m = 1; m <= 12; ++m)
            for (int day = 1; day <= 31; ++day) {
                const TCalDate d{std::uint16_t(y), std::uint16_t(m), std::uint16_t(day)};
                while (!wrapped && DateNotAfter(walker, d)) {
                    ++walked;
                    const auto year = walker.Year;
                    NextDay(walker);
                    wrapped = walker.Year == 0 && year != 0;
                }
                const std::int32_t expected =
                    StepwiseDayNumber(d, julian, [&](TCalDate) { return walked; });
                if (DaysFromFirstGregorian(d) != walked || DayNumber(d) != expected) {
                    if (++mismatches <= 5)
                        ADD_FAILURE() << y << '-' << m << '-' << day << ": " << DayNumber(d)
                                      << " vs " << expected << ", walked " << walked << " vs "
                                      << DaysFromFirstGregorian(d);
                }
            }
    EXPECT_EQ(mismatches, 0);
    EXPECT_LT(DayNumber({9999, 12, 31}), 4000000);
}

INSTANTIATE_TEST_SUITE_P(Presets, DayNumberWalk, ::testing::ValuesIn(kPresets));

// Random transitions and dates, out-of-range fields included, each checked
// against the literal walk.
TEST(DayNumberSample, AgreesWithTheLiteralWalk)
{
    std::mt19937 rng(20261207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto anyDate = [&] {
        const int kind = pick(0, 9);
        const int year = kind == 0   ? pick(10000, 65535)
                         : kind == 1 ? 0
                         : kind == 2 ? 9999
                                     : pick(1, 9999);
        const int month = pick(0, 9) == 0 ? pick(0, 40) : pick(1, 12);
        const int day = pick(0, 9) == 0 ? (pick(0, 1) ? 0 : pick(32, 300)) : pick(1, 31);
        return TCalDate{std::uint16_t(year), std::uint16_t(month), std::uint16_t(day)};
    };
    auto near = [&](TCalDate d) {
        for (int i = pick(-600, 600); i > 0; --i)
            NextDay(d);
        if (pick(0, 3) == 0)
            d.Day = std::uint16_t(pick(0, 35));
        return d;
    };

    for (int i = 0; i < 400; ++i) {
        TCalDate last = anyDate();
        TCalDate first = pick(0, 4) == 0 ? anyDate() : near(last);
        if (pick(0, 5) == 0)
            std::swap(last, first); // reversed transitions
        Use({last, first});
        // Mostly close to the change (short walks), sometimes anywhere.
        const TCalDate d = pick(0, 3) == 0 ? anyDate() : near(pick(0, 1) ? last : first);
        ASSERT_EQ(DaysFromFirstGregorian(d), WalkDaysFromFirstGregorian(d))
            << "last " << last.Year << '-' << last.Month << '-' << last.Day << " first "
            << first.Year << '-' << first.Month << '-' << first.Day << " date " << d.Year << '-'
            << d.Month << '-' << d.Day;
        ASSERT_EQ(JulianDayCount(d), WalkJulianDayCount(d));
        ASSERT_EQ(DayNumber(d),
                  StepwiseDayNumber(d, WalkJulianDayCount, WalkDaysFromFirstGregorian));
    }
    Use(kPresets[0]);
}

// A first Gregorian day at or past the end of the year ring: its walk
// stops where stepping wraps to year 0.
TEST(DayNumberSample, FirstDayAtTheEndOfTheRing)
{
    const TCalDate firsts[] = {{9999, 12, 31},  {9999, 12, 40},  {9999, 13, 1},
                               {12000, 12, 31}, {65535, 12, 31}, {65535, 20, 0}};
    const TCalDate dates[] = {{9999, 12, 31},  {9999, 12, 45},        {12000, 1, 1},
                              {65535, 12, 31}, {65535, 65535, 65535}, {1, 1, 1}};
    for (const TCalDate &first : firsts)
        for (const TCalDate &d : dates) {
            Use({{1752, 9, 2}, first});
            EXPECT_EQ(DaysFromFirstGregorian(d), WalkDaysFromFirstGregorian(d))
                << first.Year << '-' << first.Month << '-' << first.Day << " to " << d.Year << '-'
                << d.Month << '-' << d.Day;
            EXPECT_EQ(DayNumber(d),
                      StepwiseDayNumber(d, WalkJulianDayCount, WalkDaysFromFirstGregorian));
        }
    Use(kPresets[0]);
}
