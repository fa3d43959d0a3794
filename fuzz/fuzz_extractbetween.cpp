#include "fuzzinput.h"
#include "text/strsearch.h"

#include <cstdlib>

// Input: flags byte (bit 0: backward, bit 1: re-attach), occurrence byte (signed), start
// marker, NUL, end marker, NUL, text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzCall call = ReadFuzzCall(data, size, 2, 3);
    const bool backward = call.header[0] & 1;
    const bool reattach = call.header[0] & 2;
    const int occurrence = static_cast<int8_t>(call.header[1]);
    const std::string_view startMarker = call.args[0];
    const std::string_view endMarker = call.args[1];
    const std::string_view text = call.args[2];

    const Text result =
        ExtractBetween(text, startMarker, endMarker, backward, reattach, occurrence);
    // The result is a cut of the text, the markers around it when re-attached, or the
    // not-found byte.
    if (result != kNotFound) {
        std::string_view body = result;
        if (reattach && !body.empty()) {
            if (!body.starts_with(startMarker) ||
                body.size() < startMarker.size() + endMarker.size() || !body.ends_with(endMarker))
                std::abort();
            body = body.substr(startMarker.size(),
                               body.size() - startMarker.size() - endMarker.size());
        }
        if (text.find(body) == std::string_view::npos)
            std::abort();
    }
    // With no markers there is nothing to cut.
    if (ExtractBetween(text, "", "", backward, reattach, occurrence) != text)
        std::abort();
    return 0;
}
