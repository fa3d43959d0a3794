#include "text/strsearch.h"
#include "text/text.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

using namespace std::string_literals;

namespace {

// GBK bytes: 中 is D6 D0, 文 is CE C4; 0x81 0x41 is a character whose trail byte is 'A'.
const Text kZhongWen = "\xD6\xD0\xCE\xC4";
const Text kTrailA = "\x81\x41";
const Text kTrailALowered = "\x81\x61";
const Text kSep(1, kItemSeparator);

TEST(PosFromTest, Cases) {
    struct Case {
        const char* name;
        Text needle;
        Text text;
        int start;
        int expected;
    };
    const Case cases[] = {
        {"first occurrence", "b", "abcb", 1, 2},
        {"start zero means whole text", "b", "abcb", 0, 2},
        {"negative start means whole text", "b", "abcb", -5, 2},
        {"most negative start", "a", "abc", INT_MIN, 1},
        {"start on the match", "b", "abcb", 2, 2},
        {"match before start skipped", "b", "abcb", 3, 4},
        {"only match before start", "a", "abc", 2, 0},
        {"start on the last byte", "c", "abc", 3, 3},
        {"start one past the end", "c", "abc", 4, 0},
        {"start far past the end", "c", "abc", INT_MAX, 0},
        {"needle longer than rest", "bcd", "abc", 2, 0},
        {"needle longer than text", "abcd", "abc", 1, 0},
        {"multi-byte needle", "cab", "abcabc", 2, 3},
        {"case-sensitive", "A", "abcA", 1, 4},
        {"empty needle", "", "abc", 1, 0},
        {"empty text", "a", "", 1, 0},
        {"both empty", "", "", 1, 0},
        {"match across a GBK character boundary", "\xD0\xCE", kZhongWen, 1, 2},
        {"GBK needle after start", "\xCE\xC4", kZhongWen, 2, 3},
        {"NUL in needle and text", "\0b"s, "a\0b"s, 1, 2},
        {"text continues past NUL", "c", "a\0\0c"s, 1, 4},
        {"0xFF byte", "\xFF", "ab\xFF", 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PosFrom(c.needle, c.text, c.start), c.expected);
    }
}

TEST(PosFirstOfTest, Cases) {
    constexpr int kUntouched = 7;
    struct Case {
        const char* name;
        TextList needles;
        Text text;
        int start;
        int expectedPos;
        int expectedIndex;
    };
    const Case cases[] = {
        {"earlier position wins over list order", {"b", "ab"}, "xab", 1, 2, 1},
        {"tie goes to the earlier needle", {"ab", "a"}, "xab", 1, 2, 0},
        {"later needle strictly earlier", {"b", "a"}, "ab", 1, 1, 1},
        {"start skips an earlier match", {"a", "b"}, "abab", 2, 2, 1},
        {"start lands on another needle", {"a", "b"}, "abab", 3, 3, 0},
        {"empty needle ignored", {"", "b"}, "xab", 1, 3, 1},
        {"none found keeps index", {"q", "z"}, "xab", 1, 0, kUntouched},
        {"only match before start keeps index", {"x"}, "xab", 2, 0, kUntouched},
        {"empty list keeps index", {}, "xab", 1, 0, kUntouched},
        {"empty text keeps index", {"a"}, "", 1, 0, kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int index = kUntouched;
        EXPECT_EQ(PosFirstOf(index, c.text, c.needles, c.start), c.expectedPos);
        EXPECT_EQ(index, c.expectedIndex);
    }
}

TEST(PosAnyLineBreakTest, Cases) {
    struct Case {
        const char* name;
        Text needle;
        Text text;
        int start;
        int expectedPos;
        Text expectedNeedle;
    };
    const Case cases[] = {
        {"CR LF needle matches LF", "a\r\nb", "xa\nb", 1, 2, "a\nb"},
        {"CR LF needle matches CR", "a\r\nb", "xa\rb", 1, 2, "a\rb"},
        {"CR LF needle matches itself", "a\r\nb", "xa\r\nb", 1, 2, "a\r\nb"},
        {"CR LF form wins a tie with CR", "a\r\n", "a\r\n", 1, 1, "a\r\n"},
        {"CR needle matches LF", "a\rb", "a\nb", 1, 1, "a\nb"},
        {"LF needle does not match CR LF", "a\nb", "a\r\nb", 1, 0, "a\nb"},
        {"earliest form wins", "\r\n", "a\nb\r\nc", 1, 2, "\n"},
        {"start skips an earlier form", "\r\n", "a\nb\r\nc", 3, 4, "\r\n"},
        {"several breaks in one needle", "x\r\ny\r\nz", "-x\ny\nz", 1, 2, "x\ny\nz"},
        {"plain needle acts like PosFrom", "ab", "xabab", 3, 4, "ab"},
        {"plain needle before start", "ab", "xab", 3, 0, "ab"},
        {"not found leaves needle", "a\r\nb", "xyz", 1, 0, "a\r\nb"},
        {"empty needle", "", "abc", 1, 0, ""},
        {"empty text", "a\r\nb", "", 1, 0, "a\r\nb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Text needle = c.needle;
        EXPECT_EQ(PosAnyLineBreak(needle, c.text, c.start), c.expectedPos);
        EXPECT_EQ(needle, c.expectedNeedle);
    }
}

TEST(ReplaceTextTest, Cases) {
    struct Case {
        const char* name;
        Text text;
        Text search;
        Text replacement;
        bool caseSensitive;
        Text expected;
    };
    const Case cases[] = {
        {"occurrences do not overlap", "aaa", "aa", "b", true, "ba"},
        {"replacement is not searched again", "aa", "a", "aa", true, "aaaa"},
        {"case-insensitive", "Hello HELLO world", "hello", "x", false, "x x world"},
        {"case-sensitive misses other case", "Hello HELLO world", "hello", "x", true,
         "Hello HELLO world"},
        {"rest keeps its case", "ABCabc", "b", "-", false, "A-Ca-c"},
        {"replacement kept as passed", "abc", "B", "XyZ", false, "aXyZc"},
        {"inserted text matching the search is skipped", "ab", "a", "Aa", false, "Aab"},
        {"empty replacement", "a-b-c", "-", "", true, "abc"},
        {"empty replacement leaves joined bytes", "aabb", "ab", "", true, "ab"},
        {"multi-byte search", "<br><BR>x", "<br>", "\n", false, "\n\nx"},
        {"not found", "abc", "x", "y", true, "abc"},
        {"empty search", "abc", "", "y", false, "abc"},
        {"empty text", "", "a", "y", false, ""},
        {"search across a GBK character boundary", kZhongWen, "\xD0\xCE", "|", true, "\xD6|\xC4"},
        {"lowered trail byte matches", kTrailA, "a", "z", false, "\x81z"},
        {"trail byte left alone when case-sensitive", kTrailA, "a", "z", true, kTrailA},
        {"upper-case search lowered too", kTrailA + "B", kTrailA, "<>", false, "<>B"},
        {"result cut from the original bytes", kTrailA + "xB", "b", "_", false, kTrailA + "x_"},
        {"NUL bytes", "a\0b\0c"s, "\0"s, "--", true, "a--b--c"},
        {"NUL inside a case-insensitive search", "A\0B"s, "a\0b"s, "x", false, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReplaceText(c.text, c.search, c.replacement, c.caseSensitive), c.expected);
    }
}

TEST(ReplaceTextTest, LargeText) {
    constexpr size_t kPairs = 512 * 1024;
    Text text;
    text.reserve(2 * kPairs);
    for (size_t i = 0; i < kPairs; ++i) {
        text += "aB";
    }
    const Text result = ReplaceText(text, "b", "xy", false);
    ASSERT_EQ(result.size(), 3 * kPairs);
    EXPECT_EQ(result.substr(0, 6), "axyaxy");
    EXPECT_EQ(result.substr(result.size() - 3), "axy");
    EXPECT_EQ(result.find('B'), Text::npos);
}

TEST(CountTextTest, Cases) {
    struct Case {
        const char* name;
        Text text;
        Text search;
        bool caseSensitive;
        int expected;
    };
    const Case cases[] = {
        {"overlapping occurrences", "aaa", "aa", true, 2},
        {"overlapping longer search", "ababa", "aba", true, 2},
        {"dots in a host name", "a.b.c.d", ".", true, 3},
        {"case-insensitive", "AaA", "a", false, 3},
        {"case-sensitive", "AaA", "a", true, 1},
        {"upper-case search insensitive", "abAB", "AB", false, 2},
        {"not found", "abc", "x", true, 0},
        {"search longer than text", "ab", "abc", true, 0},
        {"empty search", "abc", "", true, 0},
        {"empty text", "", "a", false, 0},
        {"across a GBK character boundary", kZhongWen, "\xD0\xCE", true, 1},
        {"lowered trail byte counts", kTrailA, "a", false, 1},
        {"trail byte not counted when case-sensitive", kTrailA, "a", true, 0},
        {"NUL bytes", "\0\0\0"s, "\0\0"s, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CountText(c.text, c.search, c.caseSensitive), c.expected);
    }
}

TEST(CountTextTest, LongestSupportedText) {
    const Text text(65535, 'a');
    EXPECT_EQ(CountText(text, "aa", true), 65534);
    EXPECT_EQ(CountText(text, "A", false), 65535);
}

TEST(SplitTextTest, Cases) {
    struct Case {
        const char* name;
        Text text;
        Text delimiter;
        bool trim;
        TextList expected;
    };
    const Case cases[] = {
        {"item list", "a" + kSep + "b", kSep, true, {"a", "b"}},
        {"trailing delimiter gives an empty piece",
         "a" + kSep + "b" + kSep,
         kSep,
         true,
         {"a", "b", ""}},
        {"empty text gives one empty piece", "", kSep, true, {""}},
        {"no delimiter in text", "abc", ",", false, {"abc"}},
        {"trimmed pieces", " a , b ", ",", true, {"a", "b"}},
        {"untrimmed pieces", " a , b ", ",", false, {" a ", " b "}},
        {"empty pieces kept", ",a,,b,", ",", false, {"", "a", "", "b", ""}},
        {"appended delimiter overlaps the text", "a,", ",,", false, {"a", ","}},
        {"multi-byte delimiter", "a<li>b<li>c", "<li>", false, {"a", "b", "c"}},
        {"case-sensitive delimiter", "aXbxc", "x", false, {"aXb", "c"}},
        {"empty delimiter", "abc", "", false, {"abc"}},
        {"empty delimiter trims", " abc\r\n", "", true, {"abc"}},
        {"empty text and delimiter", "", "", false, {}},
        {"trim removes control bytes and NUL",
         "\t a\r\n" + kSep + "\0b\0"s,
         kSep,
         true,
         {"a", "b"}},
        {"trim keeps high bytes",
         " \xA1\xA1x\xA1\xA1 " + kSep + "\xD6\xD0",
         kSep,
         true,
         {"\xA1\xA1x\xA1\xA1", "\xD6\xD0"}},
        {"NUL delimiter", "a\0b\0c"s, "\0"s, false, {"a", "b", "c"}},
        {"delimiter across a GBK character boundary",
         kZhongWen,
         "\xD0\xCE",
         false,
         {"\xD6", "\xC4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SplitText(c.text, c.delimiter, c.trim), c.expected);
    }
}

TEST(SplitTextTest, ManyPieces) {
    constexpr int kPieces = 200000;
    Text text;
    for (int i = 0; i < kPieces; ++i) {
        if (i > 0) {
            text += kItemSeparator;
        }
        text += " " + std::to_string(i);
    }
    const TextList pieces = SplitText(text, kSep, true);
    ASSERT_EQ(pieces.size(), static_cast<size_t>(kPieces));
    EXPECT_EQ(pieces.front(), "0");
    EXPECT_EQ(pieces[12345], "12345");
    EXPECT_EQ(pieces.back(), std::to_string(kPieces - 1));
}

struct ExtractCase {
    const char* name;
    Text text;
    Text startMarker;
    Text endMarker;
    bool backward;
    bool reattach;
    int occurrence;
    Text expected;
};

void checkExtract(const ExtractCase& c) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        ExtractBetween(c.text, c.startMarker, c.endMarker, c.backward, c.reattach, c.occurrence),
        c.expected);
}

TEST(ExtractBetweenTest, Forward) {
    const Text page = "Head<B>Body</B>Tail";
    const Text repeated = "<a>1<a>2<b>3<b>";
    const ExtractCase cases[] = {
        {"between markers", page, "<b>", "</b>", false, false, 1, "Body"},
        {"re-attach uses markers as passed", page, "<b>", "</b>", false, true, 1, "<b>Body</b>"},
        {"upper-case markers", page, "<B>", "</B>", false, true, 1, "<B>Body</B>"},
        {"empty end marker takes the rest", page, "<b>", "", false, false, 1, "Body</B>Tail"},
        {"re-attach with empty end marker", page, "<b>", "", false, true, 1, "<b>Body</B>Tail"},
        {"empty start marker takes from the start", page, "", "<b>", false, false, 1, "Head"},
        {"missing start marker", page, "<i>", "</b>", false, false, 1, kNotFound},
        {"missing start marker with re-attach", page, "<i>", "</b>", false, true, 1, kNotFound},
        {"missing end marker", page, "<b>", "</i>", false, false, 1, kNotFound},
        {"missing end marker with re-attach", page, "<b>", "</i>", false, true, 1, kNotFound},
        {"end marker searched after start", "</b>x<b>y", "<b>", "</b>", false, false, 1, kNotFound},
        {"both markers empty", "MiXeD", "", "", false, true, 1, "MiXeD"},
        {"both markers empty on empty text", "", "", "", false, false, 1, ""},
        {"adjacent markers", "x<b></b>y", "<b>", "</b>", false, false, 1, ""},
        {"adjacent markers stay empty with re-attach", "x<b></b>y", "<b>", "</b>", false, true, 1,
         ""},
        {"start marker at the end, no end marker", "x<b>", "<b>", "", false, true, 1, ""},
        {"end marker at position 1", "</b>x", "", "</b>", false, false, 1, ""},
        {"empty text", "", "<b>", "", false, false, 1, kNotFound},
        {"empty text, only end marker", "", "", "</b>", false, false, 1, kNotFound},
        {"occurrence 1", repeated, "<a>", "<b>", false, false, 1, "1<a>2"},
        {"occurrence 2", repeated, "<a>", "<b>", false, false, 2, "2"},
        {"occurrence 2 with re-attach", repeated, "<a>", "<b>", false, true, 2, "<a>2<b>"},
        {"occurrence beyond the count", repeated, "<a>", "<b>", false, false, 3, kNotFound},
        {"occurrence 0 means the first", repeated, "<a>", "<b>", false, false, 0, "1<a>2"},
        {"negative occurrence means the first", repeated, "<a>", "<b>", false, false, -3, "1<a>2"},
        {"occurrence ignored without start marker", "1x2x", "", "x", false, false, 5, "1"},
        {"start markers do not overlap", "aaaaX", "aa", "", false, false, 2, "X"},
        {"overlapping start marker not counted", "aaaaX", "aa", "", false, false, 3, kNotFound},
    };
    for (const ExtractCase& c : cases) {
        checkExtract(c);
    }
}

TEST(ExtractBetweenTest, Backward) {
    const Text page = "Head<B>Body</B>Tail";
    const Text repeated = "<a>1<a>2<b>3<b>";
    const ExtractCase cases[] = {
        {"last start marker before the end marker", repeated, "<a>", "<b>", true, false, 1, "2"},
        {"second end marker", repeated, "<a>", "<b>", true, false, 2, "2<b>3"},
        {"too few end markers: the last counts", repeated, "<a>", "<b>", true, false, 9, "2<b>3"},
        {"re-attach", repeated, "<a>", "<b>", true, true, 1, "<a>2<b>"},
        {"between markers", page, "<b>", "</b>", true, false, 1, "Body"},
        {"empty start marker", page, "", "</b>", true, false, 1, "Head<B>Body"},
        {"empty end marker", page, "<b>", "", true, false, 1, "Body</B>Tail"},
        {"empty end marker ignores occurrence", "<b>1<b>2", "<b>", "", true, false, 5, "2"},
        {"both markers empty", "MiXeD", "", "", true, false, 1, "MiXeD"},
        {"missing end marker", page, "<b>", "</i>", true, false, 1, kNotFound},
        {"missing start marker", page, "<i>", "</b>", true, true, 1, kNotFound},
        {"start marker only after the end marker", "x</b>y<b>", "<b>", "</b>", true, false, 1,
         kNotFound},
        {"end marker at position 1", "</b>x", "", "</b>", true, false, 1, kNotFound},
        {"empty text", "", "<b>", "", true, false, 1, kNotFound},
        {"adjacent markers", "x<b></b>y", "<b>", "</b>", true, true, 1, ""},
        {"start markers do not overlap", "aaaX", "aa", "x", true, false, 1, "a"},
    };
    for (const ExtractCase& c : cases) {
        checkExtract(c);
    }
}

TEST(ExtractBetweenTest, LineBreakForms) {
    const ExtractCase cases[] = {
        {"start marker matched as LF", "1x\ny23", "x\r\ny", "", false, false, 1, "23"},
        {"start marker matched as CR", "1x\ry23", "x\r\ny", "3", false, false, 1, "2"},
        {"re-attach keeps the marker as passed", "1x\ny23", "x\r\ny", "3", false, true, 1,
         "x\r\ny23"},
        {"end marker matched as LF", "<p>abc\ndef", "<p>", "\r\n", false, false, 1, "abc"},
        {"second start marker steps by the matched form", "x\n\nz", "\r\n", "", false, false, 2,
         "z"},
        {"backward end marker as LF", "a\nb\nc", "", "\r\n", true, false, 2, "a\nb"},
        {"backward start marker as LF", "1\n2\n3<e>", "\r\n", "<e>", true, false, 1, "3"},
    };
    for (const ExtractCase& c : cases) {
        checkExtract(c);
    }
}

TEST(ExtractBetweenTest, Bytes) {
    const ExtractCase cases[] = {
        {"result keeps the original trail byte", "<P>" + kTrailA + "</P>", "<p>", "</p>", false,
         false, 1, kTrailA},
        {"lowered trail byte matches a marker", kTrailA + "Body", "a", "", false, false, 1, "Body"},
        {"upper-case trail byte in a marker", "x" + kTrailALowered + "Y", kTrailA, "", false, false,
         1, "Y"},
        {"markers across GBK character boundaries", kZhongWen + kZhongWen, "\xD0\xCE", "\xD0\xCE",
         false, false, 1, "\xC4\xD6"},
        {"GBK markers around text",
         "\xD6\xD0"
         "abc\xCE\xC4",
         "\xD6\xD0", "\xCE\xC4", true, true, 1,
         "\xD6\xD0"
         "abc\xCE\xC4"},
        {"NUL bytes in markers and text", "a\0[B]\0c"s, "\0["s, "]\0"s, false, false, 1, "B"},
    };
    for (const ExtractCase& c : cases) {
        checkExtract(c);
    }
}

TEST(LowerTextTest, Cases) {
    struct Case {
        const char* name;
        Text text;
        Text expected;
    };
    const Case cases[] = {
        {"ASCII letters", "ABCxyzXYZ", "abcxyzxyz"},
        {"bytes around the letter range", "@[`{", "@[`{"},
        {"GBK trail byte in A-Z", kTrailA, kTrailALowered},
        {"high bytes with letter low bits", "\xC1\xDA", "\xC1\xDA"},
        {"GBK without letters", kZhongWen, kZhongWen},
        {"NUL kept, length kept", "A\0B"s, "a\0b"s},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lowerText(c.text), c.expected);
    }
}

TEST(TrimTextTest, Cases) {
    struct Case {
        const char* name;
        Text text;
        Text expected;
    };
    const Case cases[] = {
        {"spaces and line breaks", " \t\r\na b\r\n", "a b"},
        {"control bytes", "\x01x\x1F\x20", "x"},
        {"NUL at both ends, kept inside", "\0a\0b\0"s, "a\0b"s},
        {"only blanks", " \r\n\t ", ""},
        {"empty", "", ""},
        {"bytes above 0x20 kept", "!x\x7F", "!x\x7F"},
        {"high bytes kept", "\xA1\xA1x\xFF", "\xA1\xA1x\xFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(trimText(c.text), c.expected);
    }
}

} // namespace
