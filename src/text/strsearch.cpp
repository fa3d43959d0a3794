#include "text/strsearch.h"

#include <array>

namespace {

// 0-based offset of needle in text at or after from, or npos.
size_t findFrom(std::string_view text, std::string_view needle, size_t from) {
    if (needle.empty() || from >= text.size())
        return std::string_view::npos;
    return text.find(needle, from);
}

int toPos(size_t offset) {
    return offset == std::string_view::npos ? 0 : static_cast<int>(offset) + 1;
}

// Case-insensitive searches run on a lowered copy; positions hold in the original because
// lowering never changes a length.
Text lowerIf(bool lower, std::string_view text) {
    return lower ? lowerText(text) : Text(text);
}

} // namespace

int PosFrom(std::string_view needle, std::string_view text, int start) {
    size_t from = start <= 1 ? 0 : static_cast<size_t>(start) - 1;
    return toPos(findFrom(text, needle, from));
}

int PosFirstOf(int& index, std::string_view text, const TextList& needles, int start) {
    int best = 0;
    for (size_t i = 0; i < needles.size(); ++i) {
        int pos = PosFrom(needles[i], text, start);
        if (pos > 0 && (best == 0 || pos < best)) {
            best = pos;
            index = static_cast<int>(i);
        }
    }
    return best;
}

int PosAnyLineBreak(Text& needle, std::string_view text, int start) {
    if (needle.find_first_of("\r\n") == Text::npos)
        return PosFrom(needle, text, start);
    Text crOnly = ReplaceText(needle, "\r\n", "\r", true);
    Text lfOnly = ReplaceText(crOnly, "\r", "\n", true);
    TextList forms{needle, std::move(crOnly), std::move(lfOnly)};
    int index = 0;
    int pos = PosFirstOf(index, text, forms, start);
    needle = std::move(forms[static_cast<size_t>(index)]);
    return pos;
}

Text ReplaceText(std::string_view text, std::string_view search, std::string_view replacement,
                 bool caseSensitive) {
    if (search.empty())
        return Text(text);
    const Text work = lowerIf(!caseSensitive, text);
    const Text needle = lowerIf(!caseSensitive, search);
    Text result;
    size_t done = 0;
    for (size_t hit = findFrom(work, needle, 0); hit != Text::npos;
         hit = findFrom(work, needle, done)) {
        if (result.empty())
            result.reserve(text.size());
        result.append(text.substr(done, hit - done)).append(replacement);
        done = hit + needle.size();
    }
    if (done == 0)
        return Text(text);
    result.append(text.substr(done));
    return result;
}

int CountText(std::string_view text, std::string_view search, bool caseSensitive) {
    if (search.empty())
        return 0;
    const Text work = lowerIf(!caseSensitive, text);
    const Text needle = lowerIf(!caseSensitive, search);
    int count = 0;
    for (size_t hit = findFrom(work, needle, 0); hit != Text::npos;
         hit = findFrom(work, needle, hit + 1))
        ++count;
    return count;
}

TextList SplitText(std::string_view text, std::string_view delimiter, bool trim) {
    TextList pieces;
    auto add = [&](std::string_view piece) {
        pieces.push_back(trim ? trimText(piece) : Text(piece));
    };
    if (delimiter.empty()) {
        if (!text.empty())
            add(text);
        return pieces;
    }
    // The text is searched as if the delimiter had been appended to it.
    Text whole;
    whole.reserve(text.size() + delimiter.size());
    whole.append(text).append(delimiter);
    size_t from = 0;
    for (size_t hit = findFrom(whole, delimiter, 0); hit != Text::npos;
         hit = findFrom(whole, delimiter, from)) {
        add(std::string_view(whole).substr(from, hit - from));
        from = hit + delimiter.size();
    }
    if (from < whole.size())
        add(std::string_view(whole).substr(from));
    return pieces;
}

namespace {

Text reattachMarkers(Text body, std::string_view startMarker, std::string_view endMarker,
                     bool reattach) {
    if (!reattach || body.empty())
        return body;
    Text wrapped;
    wrapped.reserve(startMarker.size() + body.size() + endMarker.size());
    wrapped.append(startMarker).append(body).append(endMarker);
    return wrapped;
}

} // namespace

Text ExtractBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                    bool backward, bool reattach, int occurrence) {
    if (startMarker.empty() && endMarker.empty())
        return Text(text);
    const Text lowered = lowerText(text);
    const std::string_view t = lowered;
    Text a = lowerText(startMarker);
    Text b = lowerText(endMarker);
    const int repeats = occurrence < 2 ? 0 : occurrence - 1;
    auto len = [](const Text& s) { return static_cast<int>(s.size()); };

    if (!backward) {
        int s = 1;
        if (!a.empty()) {
            int pos = PosAnyLineBreak(a, t, 1);
            for (int i = 0; i < repeats && pos > 0; ++i)
                pos = PosAnyLineBreak(a, t, pos + len(a));
            if (pos == 0)
                return kNotFound;
            s = pos + len(a);
        }
        const size_t cut = std::min(static_cast<size_t>(s - 1), text.size());
        if (b.empty())
            return reattachMarkers(Text(text.substr(cut)), startMarker, endMarker, reattach);
        int q = PosAnyLineBreak(b, t.substr(cut), 1);
        if (q == 0)
            return kNotFound;
        return reattachMarkers(Text(text.substr(cut, static_cast<size_t>(q - 1))), startMarker,
                               endMarker, reattach);
    }

    int e = static_cast<int>(text.size()) + 1;
    if (!b.empty()) {
        e = PosAnyLineBreak(b, t, 1);
        for (int i = 0; i < repeats && e > 0; ++i) {
            int next = PosAnyLineBreak(b, t, e + len(b));
            if (next == 0)
                break;
            e = next;
        }
    }
    if (e < 2)
        return kNotFound;
    const size_t cut = static_cast<size_t>(e - 1);
    if (a.empty())
        return reattachMarkers(Text(text.substr(0, cut)), startMarker, endMarker, reattach);
    const std::string_view head = t.substr(0, cut);
    int pos = PosAnyLineBreak(a, head, 1);
    if (pos == 0)
        return kNotFound;
    int from = pos + len(a);
    for (int next = PosAnyLineBreak(a, head, from); next > 0; next = PosAnyLineBreak(a, head, from))
        from = next + len(a);
    const size_t begin = std::min(static_cast<size_t>(from - 1), cut);
    return reattachMarkers(Text(text.substr(begin, cut - begin)), startMarker, endMarker, reattach);
}
