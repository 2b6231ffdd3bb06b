#pragma once

#include "secret.h"

#include <cstdint>
#include <string>

class RandomSource;

enum class SpecialMode { Any, AnyExcept, OnlyThose };

// The character-set choices of the main window, read when Generate is pressed.
struct CharChoices {
    bool upper = true;   // uc1
    bool lower = true;   // lc1
    bool digits = true;  // dg1
    bool space = false;  // spc1
    bool special = true; // sp1
    SpecialMode mode = SpecialMode::Any;
    std::string list; // Edit2: only its special characters matter
};

// Each is true when its class is not chosen or has been drawn in the
// attempt in progress.
struct ClassConditions {
    bool HasUpper = false;
    bool HasLower = false;
    bool HasDigit = false;
    bool HasSpecial = false;

    static ClassConditions StartAttempt(const CharChoices &c);
    bool AllMet() const { return HasUpper && HasLower && HasDigit && HasSpecial; }
};

constexpr int kFirstCode = 32;
constexpr int kLastCode = 126;

bool IsSpecialCode(int code);

// The 32 special characters in ascending code order.
std::string SpecialCharacters();

bool CharAllowed(int code, const CharChoices &choices, ClassConditions &cond);

int DrawChar(const CharChoices &choices, ClassConditions &cond, RandomSource &random);

// How many of the 95 codes the choices admit, and how many of the 32
// special characters.
int AdmissibleCount(const CharChoices &choices);
int AdmittedSpecialCount(const CharChoices &choices);

enum class GenerateStatus {
    Ok,
    NoAdmissibleChar, // the choices admit no code at all
    TooShort,         // fewer places than letter and digit classes that must occur
};

// Whether GeneratePassword can make a password of `length` from the choices.
GenerateStatus CheckChoices(const CharChoices &choices, int length);

// What the user is told when the choices are refused.
const char *RefusalText(GenerateStatus status);

struct GenerateResult {
    GenerateStatus status = GenerateStatus::Ok;
    SecretString password;
};

// GeneratePassword for fixed choices and length, with the refusal decided
// and every code's admission worked out once: for many passwords.
class PasswordMaker {
  public:
    PasswordMaker(const CharChoices &choices, int length);
    GenerateStatus status() const { return status_; }
    GenerateResult Make(RandomSource &random) const;

  private:
    struct Code {
        bool admitted = false;
        std::uint8_t marks = 0; // the class conditions drawing it meets, as bits
    };
    Code codes_[kLastCode - kFirstCode + 1];
    std::uint8_t start_ = 0;
    GenerateStatus status_;
    int length_;
};

// Draws whole attempts of `length` characters until every chosen class
// condition is met. Choices that can never succeed are refused up front.
// Every attempt is drawn into one buffer, wiped when the result is dropped.
// A failing random source ends it with RandomSourceError.
GenerateResult GeneratePassword(const CharChoices &choices, int length, RandomSource &random);
