#include "fuzzinput.h"
#include "text/strsearch.h"

#include <cstdlib>

namespace {

// Does the delimiter begin with its own end (as ",," does)? Only then can a match run into the
// delimiter that the split appends, and the pieces join up to text + delimiter.
bool OverlapsItself(std::string_view d) {
    for (size_t n = 1; n < d.size(); ++n)
        if (d.substr(0, n) == d.substr(d.size() - n))
            return true;
    return false;
}

} // namespace

// Input: flags byte (bit 0: trim), delimiter, NUL, text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzCall call = ReadFuzzCall(data, size, 1, 2);
    const bool trim = call.header[0] & 1;
    const std::string_view delimiter = call.args[0];
    const std::string_view text = call.args[1];

    const TextList pieces = SplitText(text, delimiter, false);
    Text joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            joined.append(delimiter);
        joined.append(pieces[i]);
    }
    if (joined != text && !(OverlapsItself(delimiter) && joined == Text(text).append(delimiter)))
        std::abort();

    // Trimming works piece by piece and drops none.
    if (trim) {
        const TextList trimmed = SplitText(text, delimiter, true);
        if (trimmed.size() != pieces.size())
            std::abort();
        for (size_t i = 0; i < pieces.size(); ++i)
            if (trimmed[i] != trimText(pieces[i]))
                std::abort();
    }
    return 0;
}
