#pragma once

#include "passwordgen.h"

// The exact strength of the passwords GeneratePassword makes for these
// choices and length: the Shannon entropy, in bits, of their distribution,
// in closed form. Every character is drawn uniformly from the admitted
// ones, and an attempt stands only when every chosen class has occurred;
// but a special character that the list keeps out still counts as the
// special class occurring, so a password without an admitted special is
// less likely than one with (not impossible) and the distribution is not
// uniform. 0 for choices GeneratePassword refuses.
double PasswordStrengthBits(const CharChoices &choices, int length);

// The same strength as the text the program shows: "97.1 bits".
std::string StrengthText(double bits);
