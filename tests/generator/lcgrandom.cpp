#include "lcgrandom.h"

#include <chrono>
#include <ctime>

std::uint32_t LcgRandom::SeedRandom()
{
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC_RAW, &ts) == 0) {
        const auto count = static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u
                           + static_cast<std::uint64_t>(ts.tv_nsec);
        return static_cast<std::uint32_t>(count);
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

std::uint32_t LcgRandom::RandomBelow(std::uint32_t n)
{
    RandomSeed = RandomSeed * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(n) * RandomSeed) >> 32);
}
