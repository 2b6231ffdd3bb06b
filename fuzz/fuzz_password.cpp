// Password generation over any choices with a seeded source.
#include "fuzzcheck.h"
#include "lcgrandom.h"
#include "passwordgen.h"
#include "randomsource.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    CharChoices c;
    const auto flags = in.ConsumeIntegral<std::uint8_t>();
    c.upper = flags & 1;
    c.lower = flags & 2;
    c.digits = flags & 4;
    c.space = flags & 8;
    c.special = flags & 16;
    c.mode = static_cast<SpecialMode>((flags >> 5) % 3);
    const int length = in.ConsumeIntegralInRange(0, 79);
    LcgRandom random(in.ConsumeIntegral<std::uint32_t>());
    c.list = in.ConsumeRemainingBytesAsString();

    const GenerateResult r = GeneratePassword(c, length, random);
    const int admissible = AdmissibleCount(c);
    if (r.status == GenerateStatus::NoAdmissibleChar) {
        FUZZ_CHECK(admissible == 0);
        return 0;
    }
    FUZZ_CHECK(admissible > 0);
    const int chosen = int(c.upper) + int(c.lower) + int(c.digits);
    if (r.status == GenerateStatus::TooShort) {
        FUZZ_CHECK(length < chosen + 1);
        return 0;
    }
    FUZZ_CHECK(length >= chosen);
    FUZZ_CHECK(int(r.password.size()) == length);
    bool upper = false, lower = false, digit = false, special = false;
    for (const char ch : r.password) {
        ClassConditions scratch;
        FUZZ_CHECK(CharAllowed(static_cast<unsigned char>(ch), c, scratch));
        upper |= ch >= 'A' && ch <= 'Z';
        lower |= ch >= 'a' && ch <= 'z';
        digit |= ch >= '0' && ch <= '9';
        special |= IsSpecialCode(static_cast<unsigned char>(ch));
    }
    FUZZ_CHECK(!c.upper || upper);
    FUZZ_CHECK(!c.lower || lower);
    FUZZ_CHECK(!c.digits || digit);
    // The special class is met even by a rejected draw; only when every
    // special character is admitted must one be in the password.
    if (c.special && c.mode == SpecialMode::Any)
        FUZZ_CHECK(special);
    return 0;
}
