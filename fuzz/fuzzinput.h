#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Takes typed values off the front of a fuzzer's input; zeros once it runs out.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : p_(data), left_(size) {}

    template <typename T> T Take()
    {
        T v{};
        const std::size_t n = left_ < sizeof v ? left_ : sizeof v;
        std::memcpy(&v, p_, n);
        p_ += n;
        left_ -= n;
        return v;
    }
    bool Flag() { return Take<std::uint8_t>() & 1; }
    std::string Rest() { return Take(left_); }
    std::string Take(std::size_t n)
    {
        n = n < left_ ? n : left_;
        std::string s(reinterpret_cast<const char *>(p_), n);
        p_ += n;
        left_ -= n;
        return s;
    }

  private:
    const std::uint8_t *p_;
    std::size_t left_;
};

// A broken invariant: the fuzzer reports the input that broke it.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #cond);               \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
