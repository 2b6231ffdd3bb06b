#include "lcgrandom.h"
#include "randomsource.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

TEST(RandomSource, FirstStepsFromSeedZero)
{
    LcgRandom r(0);
    EXPECT_EQ(r.RandomBelow(95), 0u);
    EXPECT_EQ(r.seed(), 1u);
    EXPECT_EQ(r.RandomBelow(95), 2u);
    EXPECT_EQ(r.seed(), 134775814u);
}

TEST(RandomSource, ResultIsHighHalfOfProductNotRemainder)
{
    LcgRandom r(0xFFFFFFFFu);
    // Seed becomes 0xFFFFFFFF * 134775813 + 1 mod 2^32 = 4160191484.
    const std::uint32_t v = r.RandomBelow(1000);
    EXPECT_EQ(r.seed(), 4160191484u);
    EXPECT_EQ(v, static_cast<std::uint32_t>((1000ull * 4160191484ull) >> 32));
    EXPECT_NE(v, 4160191484u % 1000u);
}

TEST(RandomSource, RandomInRangeEdges)
{
    LcgRandom r(0);
    EXPECT_EQ(r.RandomInRange(5, 5), 5);
    EXPECT_EQ(r.RandomInRange(6, 5), 0);
    EXPECT_EQ(r.seed(), 0u) << "neither call may advance the generator";
    EXPECT_EQ(r.RandomInRange(32, 126), 32);
    EXPECT_EQ(r.seed(), 1u);
    EXPECT_EQ(r.RandomInRange(-3, 3), -3);
}

TEST(RandomSource, RejectsTheBiasedTailAndTakesTheNextWord)
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

TEST(RandomSource, PowersOfTwoAndOneNeverReject)
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

TEST(RandomSource, StaysInRange)
{
    SystemRandom r;
    for (std::uint32_t n : {1u, 2u, 3u, 95u, 1000u, 0xFFFFFFFFu})
        for (int i = 0; i < 2000; ++i)
            EXPECT_LT(r.RandomBelow(n), n);
    EXPECT_EQ(r.RandomBelow(0), 0u);
}

TEST(RandomSource, DrawsLookUniform)
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

namespace {

// Replays words as RandomBelow(n) results (taken modulo n).
class Replay final : public RandomSource {
  public:
    explicit Replay(std::vector<std::uint32_t> words) : words_(std::move(words)) {}
    std::uint32_t RandomBelow(std::uint32_t n) override { return words_.at(next_++) % n; }
    std::size_t used() const { return next_; }

  private:
    std::vector<std::uint32_t> words_;
    std::size_t next_ = 0;
};

} // namespace

TEST(RandomSource, RandomInRangeCoversTheWholeIntRange)
{
    const struct {
        std::uint32_t high, low;
        std::int32_t value;
    } cases[] = {
        {0, 0, INT32_MIN}, {0xFFFF, 0xFFFF, INT32_MAX}, {0x8000, 0, 0}, {0x7FFF, 0xFFFF, -1}};
    for (const auto &c : cases) {
        Replay r({c.high, c.low});
        EXPECT_EQ(r.RandomInRange(INT32_MIN, INT32_MAX), c.value);
        EXPECT_EQ(r.used(), 2u);
    }
    Replay r({7});
    EXPECT_EQ(r.RandomInRange(INT32_MIN + 1, INT32_MAX), INT32_MIN + 8);
}

namespace {

int g_failures; // how many times the stand-in fails before it fills
int g_error;

ssize_t FailingFill(void *buffer, std::size_t length, unsigned)
{
    if (g_failures > 0) {
        --g_failures;
        errno = g_error;
        return -1;
    }
    std::memset(buffer, 0x5A, length);
    return ssize_t(length);
}

} // namespace

TEST(RandomSource, AnInterruptionIsRetriedAndAFailureThrowsWithTheReason)
{
    g_failures = 3;
    g_error = EINTR;
    SystemRandom interrupted(&FailingFill);
    EXPECT_EQ(interrupted.RandomBelow(256), 0x5Au);

    g_failures = 1;
    g_error = EIO;
    SystemRandom failing(&FailingFill);
    try {
        failing.RandomBelow(10);
        ADD_FAILURE() << "no error";
    } catch (const RandomSourceError &e) {
        EXPECT_EQ(e.error(), EIO);
        EXPECT_STREQ(e.what(), std::strerror(EIO));
    }
    EXPECT_EQ(failing.RandomBelow(256), 0x5Au); // the kernel is asked again
}
