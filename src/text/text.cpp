#include "text/text.h"

namespace {

int hexValue(char c) {
    if (c <= '9')
        return c - '0';
    return lowerByte(c) - 'a' + 10;
}

} // namespace

Text lowerText(std::string_view text) {
    Text lower(text);
    for (char& c : lower)
        c = lowerByte(c);
    return lower;
}

Text trimText(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    size_t first = 0;
    size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return Text(text.substr(first, last - first));
}

std::optional<int32_t> parseWholeNumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    s.remove_prefix(i);
    size_t prefix = 0;
    if (!s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X'))
        prefix = 1;
    else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        prefix = 2;
    if (prefix > 0) {
        s.remove_prefix(prefix);
        if (s.empty())
            return std::nullopt;
        uint64_t value = 0;
        for (char c : s) {
            if (!isHexDigit(c))
                return std::nullopt;
            value = value * 16 + static_cast<uint64_t>(hexValue(c));
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return std::nullopt;
    const uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    uint64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(negative ? 0 - value : value));
}

TextList splitFileLines(std::string_view bytes) {
    TextList lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t brk = bytes.find_first_of("\r\n", start);
        if (brk == std::string_view::npos)
            brk = bytes.size();
        lines.emplace_back(bytes.substr(start, brk - start));
        start = brk + (bytes.substr(brk, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}
