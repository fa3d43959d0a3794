#include "fuzzinput.h"
#include "text/strsearch.h"

#include <cstdlib>

// Input: flags byte (bit 0: case-sensitive), search, NUL, replacement, NUL, text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzCall call = ReadFuzzCall(data, size, 1, 3);
    const bool caseSensitive = call.header[0] & 1;
    const std::string_view search = call.args[0];
    const std::string_view replacement = call.args[1];
    const std::string_view text = call.args[2];

    const Text replaced = ReplaceText(text, search, replacement, caseSensitive);
    if (search.empty() && replaced != text)
        std::abort();
    // Putting a match back for itself changes nothing; ignoring case, at most the letter case.
    if (ReplaceText(text, search, search, true) != text)
        std::abort();
    if (lowerText(ReplaceText(text, search, search, false)) != lowerText(text))
        std::abort();
    return 0;
}
