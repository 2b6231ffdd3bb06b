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

class DayNumbers : public ::testing::TestWithParam<Transition> {
  protected:
    void TearDown() override { Use(kPresets[0]); }
};

} // namespace

// Every year, month and day 1..31 (out-of-range days included): the count
// from the first Gregorian day against a walker stepped through the calendar
// alongside, and the day number of each date the calendar has against its
// definition, walked a day at a time.
TEST_P(DayNumbers, AgreesOnEveryDateOfTheRange)
{
    Use(GetParam());
    const CalendarState &cal = Calendar();

    TCalDate walker = cal.FirstGregorianDay;
    std::int32_t walked = 0;
    bool wrapped = false;
    DayWalk days;
    std::int32_t lastJulianNumber = 0;
    int mismatches = 0;
    auto fail = [&](TCalDate d, std::int32_t got, std::int32_t want) {
        if (++mismatches <= 5)
            ADD_FAILURE() << d.Year << '-' << d.Month << '-' << d.Day << ": " << got << " vs "
                          << want;
    };
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
                if (DaysFromFirstGregorian(d) != walked)
                    fail(d, DaysFromFirstGregorian(d), walked);

                while (days.date.Year <= 9999 && DateBefore(days.date, d))
                    days.Next();
                if (DatesEqual(days.date, d)) {
                    if (DatesEqual(d, cal.LastJulianDay))
                        lastJulianNumber = days.number;
                    if (DayNumber(d) != days.number)
                        fail(d, DayNumber(d), days.number);
                } else if (DateAfter(d, cal.LastJulianDay) && DateBefore(d, cal.FirstGregorianDay)
                           && DayNumber(d) != lastJulianNumber) {
                    fail(d, DayNumber(d), lastJulianNumber); // the gap counts as its last day
                }
            }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(DayNumbers, DatesOfTheWorldsCalendars)
{
    const struct {
        Transition transition;
        TCalDate date;
        std::int32_t number;
        int weekday; // 1 Monday .. 7 Sunday
    } cases[] = {
        {kPresets[0], {1, 1, 1}, 1, 6},
        {kPresets[0], {1752, 9, 2}, 639798, 3},
        {kPresets[0], {1752, 9, 8}, 639798, 3}, // in the gap
        {kPresets[0], {1752, 9, 14}, 639799, 4},
        {kPresets[0], {2000, 1, 1}, 730122, 6},
        {kPresets[0], {9999, 12, 31}, 3652061, 5},
        {kPresets[1], {1582, 10, 15}, 577738, 5},
        {kPresets[2], {1582, 12, 20}, 577804, 1},
        {kPresets[3], {1700, 3, 1}, 620609, 1},
    };
    for (const auto &c : cases) {
        Use(c.transition);
        EXPECT_EQ(DayNumber(c.date), c.number) << c.date.Year << '-' << c.date.Month;
        EXPECT_EQ(WeekdayNo(c.date), c.weekday) << c.date.Year << '-' << c.date.Month;
    }
    Use(kPresets[0]);
}

INSTANTIATE_TEST_SUITE_P(Presets, DayNumbers, ::testing::ValuesIn(kPresets));

// Random transitions and dates, out-of-range fields included: the two counts
// a day number is made of, each against its literal walk.
TEST_F(DayNumbers, AgreesWithTheLiteralWalk)
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
    }
    Use(kPresets[0]);
}

// A first Gregorian day at or past the end of the year ring: its walk
// stops where stepping wraps to year 0.
TEST_F(DayNumbers, FirstDayAtTheEndOfTheRing)
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
        }
    Use(kPresets[0]);
}
