#include "randomsource.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

TEST(LcgRandom, FirstStepsFromSeedZero)
{
    LcgRandom r(0);
    EXPECT_EQ(r.RandomBelow(95), 0u);
    EXPECT_EQ(r.seed(), 1u);
    EXPECT_EQ(r.RandomBelow(95), 2u);
    EXPECT_EQ(r.seed(), 134775814u);
}

TEST(LcgRandom, ResultIsHighHalfOfProductNotRemainder)
{
    LcgRandom r(0xFFFFFFFFu);
    // Seed becomes 0xFFFFFFFF * 134775813 + 1 mod 2^32 = 4160191484.
    const std::uint32_t v = r.RandomBelow(1000);
    EXPECT_EQ(r.seed(), 4160191484u);
    EXPECT_EQ(v, static_cast<std::uint32_t>((1000ull * 4160191484ull) >> 32));
    EXPECT_NE(v, 4160191484u % 1000u);
}

TEST(LcgRandom, RandomInRangeEdges)
{
    LcgRandom r(0);
    EXPECT_EQ(r.RandomInRange(5, 5), 5);
    EXPECT_EQ(r.RandomInRange(6, 5), 0);
    EXPECT_EQ(r.seed(), 0u) << "neither call may advance the generator";
    EXPECT_EQ(r.RandomInRange(32, 126), 32);
    EXPECT_EQ(r.seed(), 1u);
    EXPECT_EQ(r.RandomInRange(-3, 3), -3);
}

TEST(UniformBelow, RejectsTheBiasedTailAndTakesTheNextWord)
{
    // 2^32 mod 3 == 1: only the word 0 would over-weight residue 0.
    std::vector<std::uint32_t> words{0u, 0u, 7u};
    std::size_t i = 0;
    EXPECT_EQ(UniformBelow(3, [&] { return words[i++]; }), 7u % 3u);
    EXPECT_EQ(i, 3u);

    // n = 2^31 + 1: 2^32 mod n == 2^31 - 1, the largest reject band.
    const std::uint32_t n = 0x80000001u;
    std::vector<std::uint32_t> big{0x7FFFFFFEu, 0x7FFFFFFFu};
    i = 0;
    EXPECT_EQ(UniformBelow(n, [&] { return big[i++]; }), 0x7FFFFFFFu);
    EXPECT_EQ(i, 2u);
}

TEST(UniformBelow, PowersOfTwoAndOneNeverReject)
{
    std::size_t calls = 0;
    auto word = [&] {
        ++calls;
        return 0u;
    };
    EXPECT_EQ(UniformBelow(1, word), 0u);
    EXPECT_EQ(calls, 0u);
    EXPECT_EQ(UniformBelow(64, word), 0u);
    EXPECT_EQ(calls, 1u);
}

TEST(SystemRandom, StaysInRange)
{
    SystemRandom r;
    for (std::uint32_t n : {1u, 2u, 3u, 95u, 1000u, 0xFFFFFFFFu})
        for (int i = 0; i < 2000; ++i)
            EXPECT_LT(r.RandomBelow(n), n);
    EXPECT_EQ(r.RandomBelow(0), 0u);
}

TEST(SystemRandom, DrawsLookUniform)
{
    // Chi-square over 95 cells, 190000 draws. The threshold sits near
    // p = 1e-12 for 94 degrees of freedom: a failure means a real bias.
    SystemRandom r;
    std::array<int, 95> counts{};
    const int draws = 190000;
    for (int i = 0; i < draws; ++i)
        ++counts[r.RandomBelow(95)];
    const double expected = draws / 95.0;
    double chi2 = 0;
    for (int c : counts)
        chi2 += (c - expected) * (c - expected) / expected;
    EXPECT_LT(chi2, 200.0);
}
