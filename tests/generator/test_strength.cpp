#include "lcgrandom.h"
#include "passwordgen.h"
#include "randomsource.h"
#include "strength.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

// The generator's process followed draw by draw, exactly, for one
// password: each draw is any of the 95 codes alike; an admitted code that
// is the password's next character moves on, another admitted code ends
// this way of making it, a rejected code only marks its class. Returns the
// probability that one attempt makes `password` and stands.
double AttemptMakes(const CharChoices &choices, const std::string &password)
{
    // States: the four class conditions as bits, at the current place.
    std::array<double, 16> at{};
    const ClassConditions start = ClassConditions::StartAttempt(choices);
    auto bits = [](const ClassConditions &c) {
        return int(c.HasUpper) | int(c.HasLower) << 1 | int(c.HasDigit) << 2
               | int(c.HasSpecial) << 3;
    };
    at[bits(start)] = 1;
    for (const char wanted : password) {
        std::array<double, 16> next{};
        // Marks only ever add bits, so a state is done before those it leads to.
        for (int state = 0; state < 16; ++state) {
            if (at[state] == 0)
                continue;
            int stays = 0;
            std::vector<int> leadsTo; // one entry per draw that changes the state
            int accepted = -1;
            for (int code = kFirstCode; code <= kLastCode; ++code) {
                ClassConditions c{bool(state & 1), bool(state & 2), bool(state & 4),
                                  bool(state & 8)};
                const bool admitted = CharAllowed(code, choices, c);
                if (admitted) {
                    if (code == static_cast<unsigned char>(wanted))
                        accepted = bits(c);
                } else if (bits(c) == state) {
                    ++stays;
                } else {
                    leadsTo.push_back(bits(c));
                }
            }
            // The draws that stay put repeat any number of times.
            const double leave = at[state] / (95 - stays);
            if (accepted >= 0)
                next[accepted] += leave;
            for (int to : leadsTo)
                at[to] += leave;
        }
        at = next;
    }
    return at[15];
}

// The entropy of the generator's passwords from every password's exact
// probability: attempts that fail start again, so each is its share of
// the attempts that stand.
double ExactEntropy(const CharChoices &choices, int length)
{
    std::string admitted;
    ClassConditions scratch;
    for (int code = kFirstCode; code <= kLastCode; ++code)
        if (CharAllowed(code, choices, scratch))
            admitted += char(code);
    std::vector<double> p;
    std::string password(std::size_t(length), ' ');
    std::vector<std::size_t> digit(std::size_t(length), 0);
    for (;;) {
        for (int i = 0; i < length; ++i)
            password[std::size_t(i)] = admitted[digit[std::size_t(i)]];
        p.push_back(AttemptMakes(choices, password));
        int i = 0;
        while (i < length && ++digit[std::size_t(i)] == admitted.size())
            digit[std::size_t(i++)] = 0;
        if (i == length)
            break;
    }
    double total = 0, sum = 0;
    for (double x : p)
        total += x;
    for (double x : p)
        if (x > 0)
            sum -= x / total * std::log2(x / total);
    return sum;
}

CharChoices Choose(bool upper, bool lower, bool digits, bool space, bool special,
                   SpecialMode mode = SpecialMode::Any, std::string list = {})
{
    CharChoices c;
    c.upper = upper;
    c.lower = lower;
    c.digits = digits;
    c.space = space;
    c.special = special;
    c.mode = mode;
    c.list = std::move(list);
    return c;
}

} // namespace

TEST(Strength, EqualsTheEntropyOfTheGeneratorsOwnProcessOnSmallCases)
{
    const struct {
        const char *what;
        CharChoices choices;
        int length;
    } cases[] = {
        {"digits", Choose(false, false, true, false, false), 4},
        {"digits and space", Choose(false, false, true, true, false), 3},
        {"upper and digits", Choose(true, false, true, false, false), 2},
        {"digits, any special", Choose(false, false, true, false, true), 2},
        {"digits, only ! and #",
         Choose(false, false, true, false, true, SpecialMode::OnlyThose, "!#a1"), 1},
        {"digits, only ! and #",
         Choose(false, false, true, false, true, SpecialMode::OnlyThose, "!#"), 3},
        {"digits and space, only !",
         Choose(false, false, true, true, true, SpecialMode::OnlyThose, "!"), 3},
        {"digits, no special admitted",
         Choose(false, false, true, false, true, SpecialMode::OnlyThose, ""), 3},
        {"specials only, all but four kept out",
         Choose(false, false, false, false, true, SpecialMode::OnlyThose, "!@#$"), 4},
        {"upper, lower, all but one special",
         Choose(true, true, false, false, true, SpecialMode::AnyExcept,
                SpecialCharacters().substr(1)),
         3},
    };
    for (const auto &c : cases)
        EXPECT_NEAR(PasswordStrengthBits(c.choices, c.length), ExactEntropy(c.choices, c.length),
                    1e-9)
            << c.what << ", length " << c.length;
}

TEST(Strength, ATextWithoutAnAdmittedSpecialIsAsRareAsSaid)
{
    // Default classes with two special characters admitted: passwords
    // without either are possible, and rarer than uniform would make them.
    const CharChoices choices = Choose(true, true, true, false, true, SpecialMode::OnlyThose, "!#");
    const int length = 8;
    LcgRandom random(12345);
    const int n = 100000;
    int without = 0;
    for (int i = 0; i < n; ++i) {
        const GenerateResult r = GeneratePassword(choices, length, random);
        const std::string_view pw(r.password.data(), r.password.size());
        without += pw.find_first_of("!#") == std::string_view::npos;
    }
    // The closed form's share of them: weight p0 over (64-2)^8 strings of
    // the required letter and digit classes, against the rest at weight 1.
    const double bits = PasswordStrengthBits(choices, length);
    const double uniformBits = length * std::log2(64.0); // all 64^8 strings alike
    EXPECT_LT(bits, uniformBits);
    // Independently: each character's draws meet one of the 30 kept-out
    // specials before their admitted character with probability 30/94.
    const double p0 = 1 - std::pow(1 - 30.0 / 94, length);
    auto share = [](double usable, double total, int l) {
        // holding upper, lower and digits among `usable` of `total` codes
        double s = 0;
        for (int mask = 0; mask < 8; ++mask) {
            double left = usable;
            int sign = 1;
            for (int k = 0; k < 3; ++k)
                if (mask & (1 << k)) {
                    left -= k == 2 ? 10 : 26;
                    sign = -sign;
                }
            s += sign * std::pow(left / total, l);
        }
        return s;
    };
    const double none = share(62, 64, length), all = share(64, 64, length);
    const double expected = p0 * none / (all - none + p0 * none);
    const double sigma = std::sqrt(expected * (1 - expected) / n);
    EXPECT_NEAR(double(without) / n, expected, 5 * sigma);
    EXPECT_LT(expected, none / all) << "rarer than among uniform passwords";
}

TEST(Strength, RefusedChoicesHaveNoneAndTheTextHasOneDecimal)
{
    EXPECT_EQ(PasswordStrengthBits(Choose(false, false, false, false, false), 15), 0);
    EXPECT_EQ(PasswordStrengthBits(Choose(true, true, true, false, true), 3), 0);
    const double all95 = PasswordStrengthBits(Choose(true, true, true, true, true), 255);
    EXPECT_NEAR(all95, 255 * std::log2(95.0), 1e-6); // every class occurs at that length
    EXPECT_EQ(StrengthText(97.06), "97.1 bits");
    EXPECT_EQ(StrengthText(PasswordStrengthBits(CharChoices{}, 15)), "98.0 bits");
}
