#include "libstate.h"
#include "textutil.h"

#include <gtest/gtest.h>

#include <optional>

TEST(TextUtil, DoublesEveryAmpersand)
{
    struct {
        std::string in, out;
        bool found;
    } cases[] = {
        {"plain", "plain", false},      {"&", "&&", true},
        {"a&b", "a&&b", true},          {"&&", "&&&&", true},
        {"x & y &", "x && y &&", true}, {"", "", false},
    };
    for (auto &c : cases) {
        std::string s = c.in;
        EXPECT_EQ(EscapeAmpersands(s), c.found) << c.in;
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST(TextUtil, PadsWithPadCharAndNeverCuts)
{
    Lib().PadChar = '0';
    EXPECT_EQ(PadNumber(7, 2), "07");
    EXPECT_EQ(PadNumber(123, 2), "123");
    EXPECT_EQ(PadNumber(20240506, 8), "20240506");
    EXPECT_EQ(PadNumber(9990102, 8), "09990102");
    EXPECT_EQ(PadNumber(0, 4), "0000");
    Lib().PadChar = ' ';
    EXPECT_EQ(PadNumber(7, 2), " 7");
    Lib().PadChar = '0';
}

TEST(TextUtil, RemovesOnlyTheTail)
{
    std::string s = "text\r\n  ";
    EXPECT_EQ(TrimTrailingBlanks(s), 4);
    EXPECT_EQ(s, "text");
    s = " \t\r\n ";
    EXPECT_EQ(TrimTrailingBlanks(s), 5);
    EXPECT_EQ(s, "");
    s = "  in side\tx";
    EXPECT_EQ(TrimTrailingBlanks(s), 0);
    EXPECT_EQ(s, "  in side\tx");
    s = "a\v"; // vertical tab is not a blank here
    EXPECT_EQ(TrimTrailingBlanks(s), 0);
}

TEST(TextUtil, TakesTheTail)
{
    EXPECT_EQ(RightChars("notes.txt", 4), ".txt");
    EXPECT_EQ(RightChars("abc", 4), "abc");
    EXPECT_EQ(RightChars("abcd", 4), "abcd");
    EXPECT_EQ(RightChars("abc", 0), "");
    EXPECT_EQ(RightChars("abc", -2), "");
}

TEST(TextUtil, DoNoMoreThanSaid)
{
    EXPECT_EQ(Quoted("a \"b\""), "\"a \"b\"\"");
    EXPECT_EQ(Quoted(""), "\"\"");
    std::string s = "MiXeD 123 \xC4Z";
    LowerInPlace(s);
    EXPECT_EQ(s, "mixed 123 \xC4z");
}

TEST(TextUtil, Grammar)
{
    struct {
        const char *text;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"0", 0},
        {"15", 15},
        {"   42", 42},
        {"+7", 7},
        {"-7", -7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"$FF", 255},
        {"$ff", 255},
        {"xFF", 255},
        {"XfF", 255},
        {"0x10", 16},
        {"0X10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$100000000", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"$G1", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"   ", std::nullopt},
        {"42 ", std::nullopt},
        {"4 2", std::nullopt},
        {"\t42", std::nullopt},
        {"- 5", std::nullopt},
        {"--5", std::nullopt},
        {"12a", std::nullopt},
        {"1e3", std::nullopt},
    };
    for (auto &c : cases)
        EXPECT_EQ(ReadIntegerText(c.text), c.value) << '"' << c.text << '"';
}

TEST(TextUtil, EmptyIsZeroAndFailureLeavesTheValue)
{
    std::int32_t v = 99;
    EXPECT_TRUE(IntFromText("", v));
    EXPECT_EQ(v, 0);
    v = 99;
    EXPECT_FALSE(IntFromText("abc", v));
    EXPECT_EQ(v, 99);
    EXPECT_FALSE(IntFromText("2147483648", v));
    EXPECT_EQ(v, 99);
    EXPECT_TRUE(IntFromText(" $FF", v));
    EXPECT_EQ(v, 255);
}
