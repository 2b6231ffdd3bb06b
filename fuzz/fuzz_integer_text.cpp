// The integer-text reader against a model written from its grammar.
#include "fuzzcheck.h"
#include "textutil.h"

#include <optional>

namespace {

int Digit(char c, int base)
{
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : 99;
    return v < base ? v : -1;
}

// Spaces, a sign, then decimal digits within 32 bits or "$", "x", "X", "0x",
// "0X" and hex digits taken as 32-bit two's complement; nothing after.
std::optional<std::int32_t> Model(const std::string &s)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == s.size())
        return std::nullopt;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        const int d = Digit(s[i], base);
        if (d < 0)
            return std::nullopt;
        v = v * base + d;
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        const auto word = static_cast<std::uint32_t>(v);
        const auto value = static_cast<std::int32_t>(word);
        return negative ? static_cast<std::int32_t>(0u - word) : value;
    }
    const std::int64_t signed_ = negative ? -std::int64_t(v) : std::int64_t(v);
    if (signed_ < INT32_MIN || signed_ > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(signed_);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const auto got = ReadIntegerText(text);
    const auto want = Model(text);
    FUZZ_CHECK(got.has_value() == want.has_value());
    if (got)
        FUZZ_CHECK(*got == *want);

    std::int32_t value = 12345;
    const bool ok = IntFromText(text, value);
    FUZZ_CHECK(ok == (text.empty() || got.has_value()));
    FUZZ_CHECK(value == (text.empty() ? 0 : got ? *got : 12345));
    return 0;
}
