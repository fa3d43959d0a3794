#include "fuzzinput.h"
#include "text/htmltotext.h"

#include <cstdlib>

// Input: flags byte (bit 0: use a keep list), keep list, NUL, HTML.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzCall call = ReadFuzzCall(data, size, 1, 2);
    const std::string_view keep = (call.header[0] & 1) ? call.args[0] : std::string_view();
    const std::string_view html = call.args[1];

    const Text text = HtmlToText(html, keep);
    // Tabs become spaces and runs of spaces collapse last of all, whatever the markup was.
    if (text.find('\t') != Text::npos || text.find("  ") != Text::npos)
        std::abort();

    // The companions only ever delete, or put at most two bytes where a reference stood.
    if (RemoveScripts(html).size() > html.size() ||
        RemoveStylesAndComments(html).size() > html.size() ||
        DecodeNumericRefs(html).size() > html.size())
        std::abort();
    return 0;
}
