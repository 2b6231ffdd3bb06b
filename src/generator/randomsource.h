#pragma once

#include <cstdint>
#include <stdexcept>
#include <sys/types.h>

// Where the generator's random numbers come from. Kept abstract so that the
// program draws from the operating system while tests replay fixed sequences.
class RandomSource {
  public:
    virtual ~RandomSource() = default;

    // A value from 0 to n - 1; n must be at least 1.
    virtual std::uint32_t RandomBelow(std::uint32_t n) = 0;

    // A value in the closed range a..b; 0 when b < a, a itself when a == b
    // (neither case consumes a draw). The whole int range takes two draws.
    std::int32_t RandomInRange(std::int32_t a, std::int32_t b);
};

// The system's random generator failed: no password can be made.
class RandomSourceError : public std::runtime_error {
  public:
    explicit RandomSourceError(int error);
    int error() const { return error_; }

  private:
    int error_;
};

// Maps 32-bit words to 0..n-1 with every value equally likely: words below
// 2^32 mod n are rejected and the next word is taken.
template <typename NextWord> std::uint32_t UniformBelow(std::uint32_t n, NextWord &&nextWord)
{
    if (n <= 1)
        return 0;
    const std::uint32_t limit = static_cast<std::uint32_t>(-n) % n;
    for (;;) {
        const std::uint32_t w = nextWord();
        if (w >= limit)
            return w % n;
    }
}

// Draws from the kernel's cryptographic generator (getrandom), exactly
// uniform over 0..n-1 by rejection. When the kernel fails (other than by an
// interruption) it throws RandomSourceError; there is no weaker fallback.
class SystemRandom final : public RandomSource {
  public:
    // getrandom(2), or a stand-in with its contract.
    using Fill = ssize_t (*)(void *buffer, std::size_t length, unsigned flags);

    explicit SystemRandom(Fill fill = nullptr);
    ~SystemRandom() override;
    SystemRandom(const SystemRandom &) = delete;
    SystemRandom &operator=(const SystemRandom &) = delete;

    std::uint32_t RandomBelow(std::uint32_t n) override;

  private:
    std::uint32_t nextWord();
    void refill();

    static constexpr int kWords = 256;
    Fill fill_;
    std::uint32_t buffer_[kWords] = {};
    int used_ = kWords;
};
