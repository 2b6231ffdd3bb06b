#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Text routines of the shared library. Texts are 8-bit strings.

// Doubles every '&'; true when there was one.
bool EscapeAmpersands(std::string &text);

// Decimal text of n, padded on the left with the library's PadChar up to
// `width`; never cut.
std::string PadNumber(std::int64_t n, int width);

// Removes trailing TAB, LF, CR and spaces; returns how many.
int TrimTrailingBlanks(std::string &text);

// The last n characters (the whole text when shorter; "" for n <= 0).
std::string RightChars(const std::string &text, int n);

std::string Quoted(const std::string &text);

// Only ASCII A-Z change.
void LowerInPlace(std::string &text);

// Reads an integer text: leading spaces, an optional sign, then decimal
// digits within 32 bits, or hex digits after "$", "x", "X", "0x" or "0X"
// taken as a 32-bit two's-complement value. Nothing may follow.
std::optional<std::int32_t> ReadIntegerText(const std::string &text);

// The empty text reads as 0; an unreadable text gives false and leaves
// `value` alone.
bool IntFromText(const std::string &text, std::int32_t &value);
