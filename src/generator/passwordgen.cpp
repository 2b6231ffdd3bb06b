#include "passwordgen.h"

#include "randomsource.h"

namespace {

bool InList(const std::string &list, int code)
{
    return list.find(static_cast<char>(code)) != std::string::npos;
}

} // namespace

ClassConditions ClassConditions::StartAttempt(const CharChoices &c)
{
    ClassConditions cond;
    cond.HasUpper = !c.upper;
    cond.HasLower = !c.lower;
    cond.HasDigit = !c.digits;
    cond.HasSpecial = !c.special;
    return cond;
}

bool IsSpecialCode(int code)
{
    return (code >= 33 && code <= 47) || (code >= 58 && code <= 64) || (code >= 91 && code <= 96)
           || (code >= 123 && code <= 126);
}

std::string SpecialCharacters()
{
    std::string s;
    for (int code = kFirstCode; code <= kLastCode; ++code)
        if (IsSpecialCode(code))
            s += static_cast<char>(code);
    return s;
}

bool CharAllowed(int code, const CharChoices &choices, ClassConditions &cond)
{
    if (code == 32)
        return choices.space;
    if (code >= 48 && code <= 57) {
        cond.HasDigit = true;
        return choices.digits;
    }
    if (code >= 65 && code <= 90) {
        cond.HasUpper = true;
        return choices.upper;
    }
    if (code >= 97 && code <= 122) {
        cond.HasLower = true;
        return choices.lower;
    }
    cond.HasSpecial = true;
    if (!choices.special)
        return false;
    switch (choices.mode) {
    case SpecialMode::AnyExcept:
        return !InList(choices.list, code);
    case SpecialMode::OnlyThose:
        return InList(choices.list, code);
    case SpecialMode::Any:
        break;
    }
    return true;
}

int DrawChar(const CharChoices &choices, ClassConditions &cond, RandomSource &random)
{
    for (;;) {
        const int code = random.RandomInRange(kFirstCode, kLastCode);
        if (CharAllowed(code, choices, cond))
            return code;
    }
}

namespace {

int CountAdmissible(const CharChoices &choices, bool specialsOnly)
{
    int n = 0;
    ClassConditions scratch;
    for (int code = kFirstCode; code <= kLastCode; ++code)
        if ((!specialsOnly || IsSpecialCode(code)) && CharAllowed(code, choices, scratch))
            ++n;
    return n;
}

} // namespace

int AdmissibleCount(const CharChoices &choices)
{
    return CountAdmissible(choices, false);
}

int AdmittedSpecialCount(const CharChoices &choices)
{
    return CountAdmissible(choices, true);
}

GenerateStatus CheckChoices(const CharChoices &choices, int length)
{
    if (AdmissibleCount(choices) == 0)
        return GenerateStatus::NoAdmissibleChar;
    // A chosen letter or digit class needs a place of its own. So does the
    // special class when every special character is admitted; otherwise a
    // rejected special draw meets it without taking a place.
    int mustOccur = int(choices.upper) + int(choices.lower) + int(choices.digits);
    if (choices.special && AdmittedSpecialCount(choices) == 32)
        ++mustOccur;
    if (length < mustOccur || (length <= 0 && !ClassConditions::StartAttempt(choices).AllMet()))
        return GenerateStatus::TooShort;
    return GenerateStatus::Ok;
}

const char *RefusalText(GenerateStatus status)
{
    switch (status) {
    case GenerateStatus::NoAdmissibleChar:
        return "The current choices allow no character.";
    case GenerateStatus::TooShort:
        return "The password length is too short for the chosen classes.";
    case GenerateStatus::Ok:
        break;
    }
    return "";
}

PasswordMaker::PasswordMaker(const CharChoices &choices, int length)
    : status_(CheckChoices(choices, length)), length_(length)
{
    auto bits = [](const ClassConditions &c) {
        return std::uint8_t(int(c.HasUpper) | int(c.HasLower) << 1 | int(c.HasDigit) << 2
                            | int(c.HasSpecial) << 3);
    };
    start_ = bits(ClassConditions::StartAttempt(choices));
    // What CharAllowed says of each code, asked once.
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        ClassConditions marked;
        Code &c = codes_[std::size_t(code - kFirstCode)];
        c.admitted = CharAllowed(code, choices, marked);
        c.marks = bits(marked);
    }
}

GenerateResult PasswordMaker::Make(RandomSource &random) const
{
    GenerateResult result;
    result.status = status_;
    if (status_ != GenerateStatus::Ok)
        return result;
    constexpr std::uint8_t kAllMet = 0xF;
    SecretString attempt = MakeSecret(static_cast<std::size_t>(length_));
    for (;;) {
        std::uint8_t met = start_;
        attempt.clear();
        for (int i = 0; i < length_; ++i) {
            // DrawChar, with the admission looked up.
            int code;
            for (;;) {
                code = random.RandomInRange(kFirstCode, kLastCode);
                const Code &c = codes_[std::size_t(code - kFirstCode)];
                met |= c.marks;
                if (c.admitted)
                    break;
            }
            attempt += static_cast<char>(code);
        }
        if (met == kAllMet)
            break;
    }
    result.password = std::move(attempt);
    return result;
}

GenerateResult GeneratePassword(const CharChoices &choices, int length, RandomSource &random)
{
    return PasswordMaker(choices, length).Make(random);
}
