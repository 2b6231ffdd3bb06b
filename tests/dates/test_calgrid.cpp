#include "calgrid.h"
#include "datetext.h"
#include "libstate.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

void SetTransition(const char *lastJulian, const char *firstGregorian)
{
    SetLastJulianDay(IsoDateOrZero(lastJulian));
    SetFirstGregorianDay(IsoDateOrZero(firstGregorian));
}

// The days of the grid in reading order, with the column of the first.
std::vector<int> Days(const MonthGrid &g, int *firstColumn = nullptr)
{
    std::vector<int> days;
    for (int r = 1; r <= 6; ++r)
        for (int c = 0; c < 7; ++c)
            if (int d = g.at(c, r)) {
                if (days.empty() && firstColumn)
                    *firstColumn = c;
                days.push_back(d);
            }
    return days;
}

std::vector<int> Range(int from, int to)
{
    std::vector<int> v;
    for (int d = from; d <= to; ++d)
        v.push_back(d);
    return v;
}

std::vector<int> Join(std::vector<int> a, const std::vector<int> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class CalGridTest : public ::testing::Test {
  protected:
    void SetUp() override { DatesStartUp(); }
    void TearDown() override { DatesStartUp(); }
};

} // namespace

TEST_F(CalGridTest, TransitionMonthsShowEveryRealDateInItsWeekdaysColumn)
{
    const struct {
        const char *lastJulian, *firstGregorian, *shown;
        std::vector<int> days;
        int firstColumn; // 0 = Monday
    } cases[] = {
        {"1752-09-02", "1752-09-14", "1752-09-14", Join(Range(1, 2), Range(14, 30)), 1},
        {"1582-12-09", "1582-12-20", "1582-12-20", Join(Range(1, 9), Range(20, 31)), 5},
        {"1700-02-18", "1700-03-01", "1700-03-01", Range(1, 31), 0},
        {"1700-02-18", "1700-03-01", "1700-02-01", Range(1, 18), 3},
        {"1582-10-04", "1582-10-15", "1582-10-10", Join(Range(1, 4), Range(15, 31)), 0},
        {"1752-09-02", "1752-09-14", "2024-02-31", Range(1, 29), 3},
        {"1752-09-02", "1752-09-14", "1700-02-01", Range(1, 29), 3}, // Julian leap year
    };
    for (const auto &c : cases) {
        SetTransition(c.lastJulian, c.firstGregorian);
        int firstColumn = -1;
        EXPECT_EQ(Days(MonthGridFor(IsoDateOrZero(c.shown)), &firstColumn), c.days) << c.shown;
        EXPECT_EQ(firstColumn, c.firstColumn) << c.shown;
    }
}

TEST_F(CalGridTest, TheShownDayIsTheCurrentCellWhenTheGridHasIt)
{
    MonthGrid g = MonthGridFor(IsoDateOrZero("1752-09-14"));
    ASSERT_TRUE(g.current);
    EXPECT_EQ(*g.current, (MonthGrid::Cell{3, 1})); // Thursday, first week
    EXPECT_EQ(g.at(2, 1), 2);
    EXPECT_FALSE(MonthGridFor(IsoDateOrZero("1752-09-05")).current); // in the gap
    EXPECT_FALSE(MonthGridFor(IsoDateOrZero("2024-02-31")).current);
    EXPECT_EQ(Days(MonthGridFor(TCalDate{0, 5, 6})), std::vector<int>{}); // year 0
}

TEST_F(CalGridTest, TheFillEndsInSixWeeksForEveryTransitionAndMonth)
{
    std::mt19937 rng(20261207);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto date = [&] {
        return TCalDate{static_cast<std::uint16_t>(pick(0, 10000)),
                        static_cast<std::uint16_t>(pick(0, 13)),
                        static_cast<std::uint16_t>(pick(0, 32))};
    };
    for (int i = 0; i < 400; ++i) {
        const TCalDate a = date(), b = date();
        SetLastJulianDay(a);
        SetFirstGregorianDay(i % 2 ? b : a); // reversed and equal pairs too
        for (int k = 0; k < 8; ++k) {
            const TCalDate shown = k < 4 ? TCalDate{a.Year, a.Month, std::uint16_t(k * 9)} : date();
            const std::vector<int> days = Days(MonthGridFor(shown));
            for (std::size_t j = 1; j < days.size(); ++j)
                ASSERT_LT(days[j - 1], days[j]) << IsoDateText(a) << " " << IsoDateText(b);
            ASSERT_LE(days.size(), 31u);
        }
    }
}

TEST_F(CalGridTest, CellTextsAndPlausibleDates)
{
    EXPECT_EQ(DayCellText(1), "   1");
    EXPECT_EQ(DayCellText(14), "  14");
    EXPECT_EQ(Lib().PadChar, '0');
    EXPECT_EQ(DayHeadingText(0), " Mon");
    EXPECT_EQ(DayHeadingText(6), " Sun");

    const struct {
        TCalDate d;
        bool plausible;
    } cases[] = {
        {{2024, 5, 6}, true},  {{1, 1, 1}, true},     {{9998, 12, 31}, true},
        {{9999, 1, 1}, false}, {{0, 5, 6}, false},    {{2024, 13, 1}, false},
        {{2024, 0, 1}, false}, {{2024, 2, 31}, true}, {{2024, 2, 32}, false},
        {{2024, 2, 0}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsPlausibleDate(c.d), c.plausible) << IsoDateText(c.d);
}
