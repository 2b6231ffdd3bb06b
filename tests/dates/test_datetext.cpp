#include "datetext.h"
#include "libstate.h"

#include <gtest/gtest.h>

namespace {

constexpr TCalDate D(int y, int m, int d)
{
    return {std::uint16_t(y), std::uint16_t(m), std::uint16_t(d)};
}

class DateTextTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        Lib().PadChar = '0';
        DatesStartUp();
    }
};

} // namespace

TEST_F(DateTextTest, NamesAndTheirBounds)
{
    EXPECT_EQ(MonthName(0), "");
    EXPECT_EQ(MonthName(1), "January");
    EXPECT_EQ(MonthName(12), "December");
    EXPECT_EQ(MonthName(13), "");
    EXPECT_EQ(DayName(1), "Monday");
    EXPECT_EQ(DayName(7), "Sunday");
    EXPECT_EQ(DayName(8), "");
    EXPECT_EQ(DayName(0), "");
    EXPECT_EQ(ShortDayName(3), "Wed");
    EXPECT_EQ(ShortDayName(-1), "");
}

TEST_F(DateTextTest, IsoTexts)
{
    EXPECT_EQ(IsoDateText(D(2024, 5, 6)), "2024-05-06");
    EXPECT_EQ(IsoDateText(D(999, 5, 6)), "0999-05-06");
    EXPECT_EQ(IsoDateText(D(12345, 1, 1)), "12345-01-01");
    EXPECT_EQ(IsoDateText(ZeroDate), "0000-00-00");
    EXPECT_EQ(IsoDateShortDayText(D(2024, 5, 6)), "2024-05-06 (Mon)");
    EXPECT_EQ(IsoDateLongDayText(D(2024, 5, 6)), "2024-05-06 (Monday)");
    EXPECT_EQ(IsoDateShortDayText(D(0, 5, 6)), "0000-05-06 ()");
}

TEST_F(DateTextTest, TimesAndDigits)
{
    EXPECT_EQ(HourMinuteText({9, 5, 3}), "09:05");
    EXPECT_EQ(HourMinuteSecondText({9, 5, 3}), "09:05:03");
    EXPECT_EQ(DateDigits(D(2024, 5, 6)), 20240506);
    EXPECT_EQ(TimeDigits({9, 5, 3}), 90503);
}

TEST_F(DateTextTest, StampStyles)
{
    const TCalDateTime dt{D(2024, 5, 6), {9, 5, 3}};
    EXPECT_EQ(StampText(dt, 0), "20240506090503");
    EXPECT_EQ(StampText(dt, 1), "2024-05-06 09:05:03");
    EXPECT_EQ(StampText(dt, 2), "2024-05-06 09:05 ");
    EXPECT_EQ(StampText(dt, 3), "2024-05-06 (Mon) 09:05");
    EXPECT_EQ(StampText(dt, 4), "2024-05-06 (Monday) 09:05");
    EXPECT_EQ(StampText(dt, 5), "?");
    EXPECT_EQ(StampText(dt, -1), "?");
    EXPECT_EQ(StampText({D(999, 1, 2), {0, 0, 7}}, 0), "09990102000007");
    EXPECT_EQ(StampTextOf(EncodeDateTime(2024, 5, 6, 9, 5, 2, 600), 1), "2024-05-06 09:05:03");
}

TEST_F(DateTextTest, ParseIsoDate)
{
    struct {
        const char *text;
        bool ok;
        TCalDate date;
    } cases[] = {
        {"2024-05-06", true, D(2024, 5, 6)},
        {"2024/05/06", true, D(2024, 5, 6)},
        {"2024x05y06", true, D(2024, 5, 6)},
        {"2024-05-06 (Mon)", true, D(2024, 5, 6)},
        {"2024-13-45", true, D(2024, 13, 45)},
        {"-001-05-06", true, D(65535, 5, 6)},
        {"   1-05-06", true, D(1, 5, 6)},
        {"2024- 5- 6", true, D(2024, 5, 6)},
        {"2024-5-6", false, {}},
        {" 2024-05-06", false, {}},
        {"yyyy-mm-dd", false, {}},
        {"YYYY-MM-DD", false, {}},
        {"2024-05-6x", false, {}},
        {"", false, {}},
    };
    for (auto &c : cases) {
        TCalDate d = D(7, 7, 7);
        EXPECT_EQ(ParseIsoDate(c.text, d), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(d, c.ok ? c.date : D(7, 7, 7)) << '"' << c.text << '"';
    }
    EXPECT_EQ(IsoDateOrZero(""), ZeroDate);
    EXPECT_EQ(IsoDateOrZero("1752-09-14"), D(1752, 9, 14));
}

TEST_F(DateTextTest, PadCharSpaceShowsInTheTexts)
{
    Lib().PadChar = ' ';
    EXPECT_EQ(IsoDateText(D(999, 5, 6)), " 999- 5- 6");
    Lib().PadChar = '0';
}
