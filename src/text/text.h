#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A byte string in the program's code page (GB18030: GBK, and four bytes for what GBK lacks).
// Lengths count bytes; positions are 1-based and 0 means "not found". Nothing here knows about
// character boundaries.
using Text = std::string;
using TextList = std::vector<Text>;

// The single byte that separates items of a hand-over list and that ExtractBetween returns
// when a marker is missing.
inline constexpr char kItemSeparator = '\xFF';
inline const Text kNotFound(1, kItemSeparator);

// "完成", the text the status line shows when a run has ended.
inline constexpr char kGbkDone[] = "\xCD\xEA\xB3\xC9";

// The digits of percent-encoded bytes, upper case as the engines and servers expect.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

inline constexpr char lowerByte(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
}

inline constexpr bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Equal but for the case of ASCII letters.
inline bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerByte(a[i]) != lowerByte(b[i]))
            return false;
    return true;
}

// Bytes 0x41-0x5A gain 0x20, whatever they belong to; the length never changes.
Text lowerText(std::string_view text);

// Drops leading and trailing bytes of value 0x20 or less.
Text trimText(std::string_view text);

// A whole number: leading spaces, then a signed decimal number, or hexadecimal digits after
// one of the prefixes $, x, X, 0x, 0X; nothing may follow. Anything else, or a value beyond 32
// bits, gives nothing. Hexadecimal values above 0x7FFFFFFF wrap to negative numbers.
std::optional<int32_t> parseWholeNumber(std::string_view text);

// The lines of a text file: CR, LF and CR LF each end a line, a break at the very end adds no
// line, and blank lines stay as empty ones.
TextList splitFileLines(std::string_view bytes);
