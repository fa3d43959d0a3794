#include "text.h"

Text LowerText(std::string_view text) {
    Text lower(text);
    for (char& c : lower)
        c = LowerByte(c);
    return lower;
}

Text TrimText(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    size_t first = 0;
    size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return Text(text.substr(first, last - first));
}
