#pragma once

#include "randomsource.h"

// The classic 32-bit linear congruential generator seeded once from the
// performance counter. Deterministic for a given seed, so it is what the
// reproducible cases are expressed in; it is far too small a state to be
// trusted with real passwords.
class LcgRandom final : public RandomSource {
  public:
    explicit LcgRandom(std::uint32_t seed) : RandomSeed(seed) {}

    // Low 32 bits of the monotonic high-resolution counter, else a
    // millisecond tick count.
    static std::uint32_t SeedRandom();

    std::uint32_t RandomBelow(std::uint32_t n) override;
    std::uint32_t seed() const { return RandomSeed; }

  private:
    std::uint32_t RandomSeed;
};
