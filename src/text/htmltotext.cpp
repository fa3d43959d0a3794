#include "text/htmltotext.h"

#include "text/codepage.h"

#include <cstring>

namespace {

constexpr size_t kNpos = std::string_view::npos;

// Does the text hold the lower-case pattern at offset i, ignoring the case of the text?
bool matchesLower(std::string_view text, size_t i, std::string_view pattern) {
    if (text.size() - i < pattern.size())
        return false;
    for (size_t k = 0; k < pattern.size(); ++k)
        if (lowerByte(text[i + k]) != pattern[k])
            return false;
    return true;
}

// Case-insensitive search for a lower-case pattern whose first byte is no letter.
size_t findLower(std::string_view text, std::string_view pattern, size_t from) {
    for (size_t i = text.find(pattern[0], from); i != kNpos; i = text.find(pattern[0], i + 1))
        if (matchesLower(text, i, pattern))
            return i;
    return kNpos;
}

// Compacts a text in place while it is scanned: what is kept so far is s[0, w), what is still
// to be read is s[r, n); bytes between them are dropped.
struct Compactor {
    Text& s;
    size_t w = 0;
    size_t r = 0;

    void keepUpTo(size_t upto) {
        if (w != r)
            std::memmove(s.data() + w, s.data() + r, upto - r);
        w += upto - r;
        r = upto;
    }
    void finish() {
        keepUpTo(s.size());
        s.resize(w);
    }
};

// Deletes blocks that start with an opener and end where endOf says, each time searching again
// from the start of the text. The text before a deleted block holds no opener, so that search
// can only find one that the cut has joined together: it resumes opener length - 1 bytes before
// the cut.
// Returns false when an opener had no end, which stops the deleting.
template <typename EndOf> bool cutBlocks(Text& s, std::string_view opener, EndOf endOf) {
    const std::string_view all(s.data(), s.size());
    Compactor c{s};
    bool complete = true;
    for (;;) {
        const size_t open = findLower(all, opener, c.r);
        if (open == kNpos)
            break;
        const size_t end = endOf(all, open);
        if (end == kNpos) {
            complete = false;
            break;
        }
        c.keepUpTo(open);
        c.r = end;
        const size_t back = std::min(c.w, opener.size() - 1);
        c.w -= back;
        c.r -= back;
        std::memmove(s.data() + c.r, s.data() + c.w, back);
    }
    c.finish();
    return complete;
}

void cutScripts(Text& s) {
    cutBlocks(s, "<script", [](std::string_view all, size_t open) {
        const size_t gt = all.find('>', open);
        if (gt == kNpos)
            return kNpos;
        const size_t close = findLower(all, "</script>", gt + 1);
        return close == kNpos ? kNpos : close + 9;
    });
}

void cutStylesAndComments(Text& s) {
    const bool stylesClosed = cutBlocks(s, "<style", [](std::string_view all, size_t open) {
        const size_t close = findLower(all, "</style>", open + 6);
        return close == kNpos ? kNpos : close + 8;
    });
    if (!stylesClosed)
        return;
    cutBlocks(s, "<!--", [](std::string_view all, size_t open) {
        const size_t close = all.find("-->", open + 4);
        return close == kNpos ? kNpos : close + 3;
    });
}

// Each reference is replaced by its character and the search starts again from the top of
// the text. Everything before the reference was searched already, so only a "&" just before it
// can open a new reference together with the new character: the search resumes there.
void decodeRefsInPlace(Text& s) {
    const std::string_view all(s.data(), s.size());
    Compactor c{s};
    for (;;) {
        const size_t amp = all.find("&#", c.r);
        if (amp == kNpos)
            break;
        const size_t semi = all.find(';', amp + 2);
        if (semi == kNpos)
            break;
        const auto number = parseWholeNumber(all.substr(amp + 2, semi - amp - 2));
        if (!number) {
            c.keepUpTo(semi);
            continue;
        }
        // The number is the character's code point; a negative one is none, and cutting it to
        // 16 bits would make up an unrelated character.
        const Text ch = codePointToGbk(static_cast<char32_t>(static_cast<uint32_t>(*number)));
        c.keepUpTo(amp);
        // It fits in place: a reference is at least four bytes ("&#9;"), and one that names a
        // character of two or four bytes (from U+0080) at least six ("&#128;", "&#$80;").
        c.r = semi + 1 - ch.size();
        std::memcpy(s.data() + c.r, ch.data(), ch.size());
        if (c.w > 0 && s[c.w - 1] == '&') {
            --c.w;
            --c.r;
            s[c.r] = '&';
        }
    }
    c.finish();
}

// The tag scan: drops tags, keeps "<" that opens none, turns bare <br> and <p> into breaks.
Text scanTags(std::string_view h, std::string_view keepList) {
    Text out;
    out.reserve(h.size());
    size_t done = 0;
    size_t gt = 0;
    size_t lt = h.find('<');
    while (lt != kNpos) {
        if (gt <= lt)
            gt = h.find('>', lt + 1);
        if (gt == kNpos)
            break;
        const size_t nextLt = h.find('<', lt + 1);
        if (nextLt < gt) {
            out.append(h.substr(done, lt + 1 - done));
            done = lt + 1;
            lt = nextLt;
            continue;
        }
        // The tag runs to the last ">" before the next "<".
        const size_t span = nextLt == kNpos ? kNpos : nextLt - gt;
        const size_t end = gt + h.substr(gt, span).rfind('>');
        const std::string_view tag = h.substr(lt, end + 1 - lt);
        bool kept = false;
        if (!keepList.empty()) {
            const size_t space = tag.find(' ');
            const Text key = lowerText(space == kNpos ? tag : tag.substr(0, space + 1));
            kept = keepList.find(key) != kNpos;
        }
        if (kept) {
            out.append(h.substr(done, end + 1 - done));
        } else {
            out.append(h.substr(done, lt - done));
            if (tag.size() == 4 && matchesLower(tag, 0, "<br>"))
                out.append("\r\n");
            else if (tag.size() == 3 && matchesLower(tag, 0, "<p>"))
                out.append("\r\n\r\n");
        }
        done = end + 1;
        lt = nextLt;
    }
    out.append(h.substr(done));
    return out;
}

struct Entity {
    std::string_view name;
    char ch;
};

// In the order they are replaced; "&amp;" comes last so that "&amp;lt;" stays "&lt;".
constexpr Entity kNbspEntities[] = {{"&nbsp;", ' '}, {"&nbsp", ' '}};
constexpr Entity kEntities[] = {{"&lt;", '<'},    {"&gt;", '>'},   {"&ldquo;", '"'},
                                {"&rdquo;", '"'}, {"&quot;", '"'}, {"&amp;", '&'}};

// Named entities, tabs and runs of spaces in one pass. Every entity starts at its own "&" and
// becomes one byte that is neither "&" nor a letter, so the replacements cannot create or
// hide one another; the pass gives what replacing one entity after the other would.
// Works in place: the output never outgrows what it has read.
void replaceEntities(Text& s, bool keepNbsp) {
    const std::string_view text(s.data(), s.size());
    size_t w = 0;
    auto put = [&](char c) {
        if (c != ' ' || w == 0 || s[w - 1] != ' ')
            s[w++] = c;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t') {
            put(' ');
            continue;
        }
        if (c != '&') {
            put(c);
            continue;
        }
        const Entity* found = nullptr;
        if (!keepNbsp)
            for (const Entity& e : kNbspEntities)
                if (!found && matchesLower(text, i, e.name))
                    found = &e;
        for (const Entity& e : kEntities)
            if (!found && matchesLower(text, i, e.name))
                found = &e;
        if (found) {
            put(found->ch);
            i += found->name.size() - 1;
        } else {
            put(c);
        }
    }
    s.resize(w);
}

} // namespace

Text RemoveScripts(std::string_view html) {
    Text s(html);
    cutScripts(s);
    return s;
}

Text RemoveStylesAndComments(std::string_view html) {
    Text s(html);
    cutStylesAndComments(s);
    return s;
}

Text DecodeNumericRefs(std::string_view text) {
    Text s(text);
    decodeRefsInPlace(s);
    return s;
}

Text HtmlToText(std::string_view html, std::string_view keepList) {
    const Text keep = lowerText(keepList);
    Text h(html);
    cutScripts(h);
    cutStylesAndComments(h);
    Text plain = scanTags(h, keep);
    decodeRefsInPlace(plain);
    replaceEntities(plain, keep.find("&nbsp;") != Text::npos);
    return plain;
}
