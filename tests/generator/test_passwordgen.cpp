#include "lcgrandom.h"
#include "passwordgen.h"
#include "randomsource.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

namespace {

std::vector<int> Codes(std::string_view s)
{
    std::vector<int> v;
    for (unsigned char c : s)
        v.push_back(c);
    return v;
}

// Counts the draws the generator makes.
class CountingRandom final : public RandomSource {
  public:
    explicit CountingRandom(std::uint32_t seed) : lcg(seed) {}
    std::uint32_t RandomBelow(std::uint32_t n) override
    {
        ++draws;
        return lcg.RandomBelow(n);
    }
    LcgRandom lcg;
    int draws = 0;
};

CharChoices OnlyDigits()
{
    CharChoices c;
    c.upper = c.lower = c.special = false;
    return c;
}

} // namespace

TEST(PasswordGen, AreThe32NonAlphanumericPrintables)
{
    const std::string s = SpecialCharacters();
    ASSERT_EQ(s.size(), 32u);
    EXPECT_EQ(s.front(), '!');
    EXPECT_EQ(s.back(), '~');
    EXPECT_EQ(s, "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");
}

TEST(PasswordGen, SeededVectors)
{
    {
        CountingRandom r(0);
        const GenerateResult g = GeneratePassword(CharChoices{}, 15, r);
        ASSERT_EQ(g.status, GenerateStatus::Ok);
        EXPECT_EQ(Codes(g.password),
                  (std::vector<int>{34, 113, 51, 57, 95, 62, 47, 67, 72, 39, 77, 38, 111, 37, 59}));
        EXPECT_EQ(r.draws, 16) << "the first draw, a space, is rejected";
    }
    {
        LcgRandom r(0);
        EXPECT_EQ(GeneratePassword(OnlyDigits(), 8, r).password, "39737290");
    }
    {
        LcgRandom r(0);
        CharChoices c;
        c.mode = SpecialMode::OnlyThose;
        c.list = "!#";
        EXPECT_EQ(
            Codes(GeneratePassword(c, 15, r).password),
            (std::vector<int>{113, 51, 57, 67, 72, 77, 111, 119, 66, 105, 98, 112, 100, 76, 55}))
            << "rejected special draws still meet the special condition";
    }
}

TEST(PasswordGen, MarksTheClassOfEveryDrawnCode)
{
    CharChoices c;
    c.mode = SpecialMode::AnyExcept;
    c.list = "#";
    ClassConditions cond;
    EXPECT_FALSE(CharAllowed('#', c, cond));
    EXPECT_TRUE(cond.HasSpecial) << "a kept-out special still counts as drawn";

    c.upper = false;
    cond = {};
    EXPECT_FALSE(CharAllowed('Q', c, cond));
    EXPECT_TRUE(cond.HasUpper);

    cond = {};
    c.space = true;
    EXPECT_TRUE(CharAllowed(' ', c, cond));
    EXPECT_FALSE(cond.HasUpper || cond.HasLower || cond.HasDigit || cond.HasSpecial);
}

TEST(PasswordGen, ListModes)
{
    CharChoices c;
    ClassConditions cond;
    c.list = "aZ5 !";
    for (SpecialMode m : {SpecialMode::AnyExcept, SpecialMode::OnlyThose}) {
        c.mode = m;
        // Letters, digits and space in the list change nothing.
        EXPECT_TRUE(CharAllowed('a', c, cond));
        EXPECT_TRUE(CharAllowed('Z', c, cond));
        EXPECT_TRUE(CharAllowed('5', c, cond));
        EXPECT_FALSE(CharAllowed(' ', c, cond));
    }
    c.mode = SpecialMode::AnyExcept;
    EXPECT_FALSE(CharAllowed('!', c, cond));
    EXPECT_TRUE(CharAllowed('?', c, cond));
    c.mode = SpecialMode::OnlyThose;
    EXPECT_TRUE(CharAllowed('!', c, cond));
    EXPECT_FALSE(CharAllowed('?', c, cond));

    // With Special characters clear, mode and list have no effect.
    c.special = false;
    EXPECT_FALSE(CharAllowed('!', c, cond));
    EXPECT_FALSE(CharAllowed('?', c, cond));
}

TEST(PasswordGen, RefusesChoicesThatAdmitNothing)
{
    LcgRandom r(1);
    CharChoices none;
    none.upper = none.lower = none.digits = none.special = false;
    EXPECT_EQ(GeneratePassword(none, 15, r).status, GenerateStatus::NoAdmissibleChar);

    CharChoices onlyEmptyList = none;
    onlyEmptyList.special = true;
    onlyEmptyList.mode = SpecialMode::OnlyThose;
    onlyEmptyList.list = "abc 123"; // no special character in it
    EXPECT_EQ(GeneratePassword(onlyEmptyList, 15, r).status, GenerateStatus::NoAdmissibleChar);

    CharChoices exceptAll = onlyEmptyList;
    exceptAll.mode = SpecialMode::AnyExcept;
    exceptAll.list = SpecialCharacters();
    EXPECT_EQ(GeneratePassword(exceptAll, 15, r).status, GenerateStatus::NoAdmissibleChar);
    EXPECT_EQ(r.seed(), 1u) << "a refusal draws nothing";

    // The same list with another class chosen completes, without specials.
    exceptAll.digits = true;
    const GenerateResult g = GeneratePassword(exceptAll, 30, r);
    ASSERT_EQ(g.status, GenerateStatus::Ok);
    EXPECT_EQ(g.password.find_first_not_of("0123456789"), std::string::npos);
}

TEST(PasswordGen, RefusesLengthsThatCanNeverHoldEveryClass)
{
    LcgRandom r(1);
    // Every class chosen and every special admitted: each needs a place.
    EXPECT_EQ(GeneratePassword(CharChoices{}, 3, r).status, GenerateStatus::TooShort);
    EXPECT_EQ(GeneratePassword(CharChoices{}, 0, r).status, GenerateStatus::TooShort);
    CharChoices specialOnly;
    specialOnly.upper = specialOnly.lower = specialOnly.digits = false;
    EXPECT_EQ(GeneratePassword(specialOnly, 0, r).status, GenerateStatus::TooShort);
    const GenerateResult four = GeneratePassword(CharChoices{}, 4, r);
    ASSERT_EQ(four.status, GenerateStatus::Ok);
    EXPECT_EQ(four.password.size(), 4u);

    // A special kept out by the list meets its class without a place.
    CharChoices except;
    except.mode = SpecialMode::AnyExcept;
    except.list = "~";
    const GenerateResult three = GeneratePassword(except, 3, r);
    ASSERT_EQ(three.status, GenerateStatus::Ok);
    EXPECT_EQ(three.password.size(), 3u);
}

TEST(PasswordGen, EveryPasswordHasItsLengthAdmissibleCodesAndEveryChosenClass)
{
    struct Case {
        CharChoices choices;
        int length;
    };
    std::vector<Case> cases;
    cases.push_back({CharChoices{}, 8});
    cases.push_back({CharChoices{}, 255});
    CharChoices withSpace;
    withSpace.space = true;
    cases.push_back({withSpace, 15});
    CharChoices only;
    only.mode = SpecialMode::OnlyThose;
    only.list = "@_";
    cases.push_back({only, 12});
    CharChoices except;
    except.mode = SpecialMode::AnyExcept;
    except.list = "!\"#$%&'()*+,-./";
    cases.push_back({except, 20});
    cases.push_back({OnlyDigits(), 8});

    LcgRandom r(2024);
    for (const Case &k : cases) {
        ClassConditions admissibleProbe;
        for (int i = 0; i < 3000; ++i) {
            const GenerateResult g = GeneratePassword(k.choices, k.length, r);
            ASSERT_EQ(g.status, GenerateStatus::Ok);
            ASSERT_EQ(int(g.password.size()), k.length);
            bool upper = false, lower = false, digit = false;
            for (unsigned char ch : g.password) {
                ASSERT_TRUE(CharAllowed(ch, k.choices, admissibleProbe)) << int(ch);
                upper |= ch >= 'A' && ch <= 'Z';
                lower |= ch >= 'a' && ch <= 'z';
                digit |= ch >= '0' && ch <= '9';
            }
            EXPECT_EQ(upper, k.choices.upper);
            EXPECT_EQ(lower, k.choices.lower);
            EXPECT_EQ(digit, k.choices.digits);
        }
    }
}

TEST(PasswordGen, EachAdmissibleCharacterIsEquallyLikely)
{
    // Default choices admit 94 codes. At length 60 an attempt almost never
    // fails, so the per-character law is the draw's own.
    LcgRandom r(7);
    std::array<int, 128> counts{};
    int total = 0;
    for (int i = 0; i < 4000; ++i)
        for (unsigned char ch : GeneratePassword(CharChoices{}, 60, r).password) {
            ++counts[ch];
            ++total;
        }
    EXPECT_EQ(counts[' '], 0);
    const double expected = total / 94.0;
    double chi2 = 0;
    for (int code = 33; code <= 126; ++code)
        chi2 += (counts[code] - expected) * (counts[code] - expected) / expected;
    EXPECT_LT(chi2, 200.0); // 93 degrees of freedom: mean 93, sd 13.6
}

TEST(PasswordGen, CountsTheChosenCodes)
{
    EXPECT_EQ(AdmissibleCount(CharChoices{}), 94);
    CharChoices c;
    c.space = true;
    EXPECT_EQ(AdmissibleCount(c), 95);
    c.mode = SpecialMode::OnlyThose;
    c.list = "!!a";
    EXPECT_EQ(AdmissibleCount(c), 26 + 26 + 10 + 1 + 1);
}

// Every heap block the program frees is looked at for a password.
namespace {

std::array<char, 64> g_watched{};
std::size_t g_watchedLength = 0;
int g_freedWithPassword = 0;

void InspectAndFree(void *p)
{
    if (!p)
        return;
    const std::size_t n = malloc_usable_size(p);
    if (g_watchedLength && n >= g_watchedLength && memmem(p, n, g_watched.data(), g_watchedLength))
        ++g_freedWithPassword;
    std::free(p);
}

} // namespace

void *operator new(std::size_t n)
{
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    InspectAndFree(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    InspectAndFree(p);
}

TEST(PasswordGen, EveryAttemptAndThePasswordAreWipedWhenFreed)
{
    LcgRandom r(0);
    CharChoices c;
    for (int round = 0; round < 20; ++round) {
        {
            GenerateResult g = GeneratePassword(c, 40, r);
            ASSERT_EQ(g.password.size(), 40u);
            std::copy(g.password.begin(), g.password.end(), g_watched.begin());
            g_watchedLength = 40;
        }
        g_watchedLength = 0;
    }
    EXPECT_EQ(g_freedWithPassword, 0);
}
