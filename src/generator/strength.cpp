#include "strength.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// The share of the strings of `length` characters over an alphabet of
// `total` that use only `usable` of them and hold every class of `sizes`:
// inclusion and exclusion over the classes, each term scaled by total^length
// so that no term overflows and little precision is lost.
double ShareHoldingAll(const std::vector<int> &sizes, int usable, int total, int length)
{
    double share = 0;
    for (unsigned subset = 0; subset < (1u << sizes.size()); ++subset) {
        int left = usable;
        int sign = 1;
        for (std::size_t k = 0; k < sizes.size(); ++k)
            if (subset & (1u << k)) {
                left -= sizes[k];
                sign = -sign;
            }
        if (left > 0)
            share += sign * std::exp(length * std::log(double(left) / total));
    }
    return share;
}

} // namespace

double PasswordStrengthBits(const CharChoices &choices, int length)
{
    // Whatever the generator refuses has no strength.
    if (length < 1 || CheckChoices(choices, length) != GenerateStatus::Ok)
        return 0;
    const int admitted = AdmissibleCount(choices);
    const int specials = AdmittedSpecialCount(choices);

    std::vector<int> required; // the letter and digit classes that must occur
    if (choices.upper)
        required.push_back(26);
    if (choices.lower)
        required.push_back(26);
    if (choices.digits)
        required.push_back(10);
    const double all = ShareHoldingAll(required, admitted, admitted, length);
    const double base = length * std::log2(double(admitted));
    if (!choices.special)
        return base + std::log2(all); // every admissible password alike

    // Passwords without an admitted special stand only if a kept-out
    // special was drawn on the way: each character's draws meet one before
    // their admitted character with probability kept / (admitted + kept).
    const double without = ShareHoldingAll(required, admitted - specials, admitted, length);
    const double with = all - without;
    const int keptOut = 32 - specials;
    const double q = double(keptOut) / (admitted + keptOut);
    const double weight = -std::expm1(length * std::log1p(-q)); // of those without
    const double z = with + weight * without;
    double bits = base + std::log2(z);
    if (weight > 0 && without > 0)
        bits -= weight * without * std::log2(weight) / z;
    return bits;
}

std::string StrengthText(double bits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f bits", bits);
    return text;
}
