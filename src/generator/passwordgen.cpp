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

GenerateResult GeneratePassword(const CharChoices &choices, int length, RandomSource &random)
{
    GenerateResult result;
    if (AdmissibleCount(choices) == 0) {
        result.status = GenerateStatus::NoAdmissibleChar;
        return result;
    }
    // A chosen letter or digit class needs a place of its own. So does the
    // special class when every special character is admitted; otherwise a
    // rejected special draw meets it without taking a place.
    int mustOccur = int(choices.upper) + int(choices.lower) + int(choices.digits);
    if (choices.special && CountAdmissible(choices, true) == 32)
        ++mustOccur;
    if (length < mustOccur || (length <= 0 && !ClassConditions::StartAttempt(choices).AllMet())) {
        result.status = GenerateStatus::TooShort;
        return result;
    }

    SecretString attempt = MakeSecret(static_cast<std::size_t>(length));
    for (;;) {
        ClassConditions cond = ClassConditions::StartAttempt(choices);
        attempt.clear();
        for (int i = 0; i < length; ++i)
            attempt += static_cast<char>(DrawChar(choices, cond, random));
        if (cond.AllMet())
            break;
    }
    result.password = std::move(attempt);
    return result;
}
