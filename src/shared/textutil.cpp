#include "textutil.h"

#include "libstate.h"

bool EscapeAmpersands(std::string &text)
{
    bool found = false;
    for (std::size_t pos = text.find('&'); pos != std::string::npos;
         pos = text.find('&', pos + 2)) {
        text.insert(pos, 1, '&');
        found = true;
    }
    return found;
}

std::string PadNumber(std::int64_t n, int width)
{
    std::string s = std::to_string(n);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), Lib().PadChar);
    return s;
}

int TrimTrailingBlanks(std::string &text)
{
    const auto keep = text.find_last_not_of("\t\n\r ");
    const std::size_t newSize = keep == std::string::npos ? 0 : keep + 1;
    const int removed = static_cast<int>(text.size() - newSize);
    text.resize(newSize);
    return removed;
}

std::string RightChars(const std::string &text, int n)
{
    if (n <= 0)
        return {};
    if (static_cast<std::size_t>(n) >= text.size())
        return text;
    return text.substr(text.size() - static_cast<std::size_t>(n));
}

std::string Quoted(const std::string &text)
{
    return '"' + text + '"';
}

void LowerInPlace(std::string &text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::int32_t> ReadIntegerText(const std::string &text)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }

    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < text.size() && text[i] == '0'
               && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;

    std::uint64_t magnitude = 0;
    if (hex) {
        for (; i < text.size(); ++i) {
            const int d = HexValue(text[i]);
            if (d < 0)
                return std::nullopt;
            magnitude = magnitude * 16 + static_cast<unsigned>(d);
            if (magnitude > 0xFFFFFFFFu)
                return std::nullopt;
        }
        // The 32 bits are a two's-complement pattern; a sign negates it.
        auto bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }

    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + static_cast<unsigned>(text[i] - '0');
        if (magnitude > 2147483648u)
            return std::nullopt;
    }
    if (!negative && magnitude > 2147483647u)
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

bool IntFromText(const std::string &text, std::int32_t &value)
{
    if (text.empty()) {
        value = 0;
        return true;
    }
    const auto v = ReadIntegerText(text);
    if (!v)
        return false;
    value = *v;
    return true;
}
