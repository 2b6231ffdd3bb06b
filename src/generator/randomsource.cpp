#include "randomsource.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/random.h>

std::int32_t RandomSource::RandomInRange(std::int32_t a, std::int32_t b)
{
    if (b < a)
        return 0;
    if (a == b)
        return a;
    const std::int64_t span = static_cast<std::int64_t>(b) - a + 1;
    if (span > std::int64_t(UINT32_MAX)) {
        // 2^32 values, more than one draw below n can give: two halves.
        const std::uint32_t high = RandomBelow(65536);
        const std::uint32_t low = RandomBelow(65536);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + (high << 16 | low));
    }
    return static_cast<std::int32_t>(a
                                     + static_cast<std::int64_t>(RandomBelow(std::uint32_t(span))));
}

RandomSourceError::RandomSourceError(int error)
    : std::runtime_error(std::strerror(error)), error_(error)
{
}

SystemRandom::SystemRandom(Fill fill) : fill_(fill ? fill : &getrandom) {}

SystemRandom::~SystemRandom()
{
    // What is left would be the next passwords' characters.
    explicit_bzero(buffer_, sizeof buffer_);
}

void SystemRandom::refill()
{
    auto *bytes = reinterpret_cast<unsigned char *>(buffer_);
    std::size_t got = 0;
    while (got < sizeof buffer_) {
        const ssize_t n = fill_(bytes + got, sizeof buffer_ - got, 0);
        if (n < 0) {
            const int error = errno;
            if (error == EINTR)
                continue;
            // No kernel randomness means no safe password. What was read
            // is dropped; the next draw asks the kernel again.
            explicit_bzero(buffer_, sizeof buffer_);
            throw RandomSourceError(error);
        }
        got += static_cast<std::size_t>(n);
    }
    used_ = 0;
}

std::uint32_t SystemRandom::nextWord()
{
    if (used_ == kWords)
        refill();
    const std::uint32_t w = buffer_[used_];
    buffer_[used_++] = 0;
    return w;
}

std::uint32_t SystemRandom::RandomBelow(std::uint32_t n)
{
    return UniformBelow(n, [this] { return nextWord(); });
}
