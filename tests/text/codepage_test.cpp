#include "text/apperror.h"
#include "text/codepage.h"

#include <QStringDecoder>
#include <gtest/gtest.h>
#include <iconv.h>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

QString utf16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

struct RoundTrip {
    std::string gbk;
    std::string utf8;
};

const std::vector<RoundTrip> kRoundTrips = {
    {"", ""},
    {"abc 123\r\n", "abc 123\r\n"},
    {"\xD6\xD0\xCE\xC4", "中文"},
    {"\xC4\xAB\xCD\xA1\xB8\xDF\xD0\xA7SEO\xD7\xDB\xBA\xCF\xB9\xA4\xBE\xDF", "墨汀高效SEO综合工具"},
    {"\xA1\xA1", "\u3000"},
    // Code page 936 puts the euro sign on a single byte; files that hold it keep it.
    {"\x80", "€"},
    {"a\0\xD6\xD0\0b"s, "a\0中\0b"s},
    // Characters GBK lacks: four bytes each, the second and fourth of them digits.
    {"na\x81\x30\x8A\x37ve \x94\x39\xFC\x36", "naïve 😀"},
    {"\xD6\xD0\x94\x39\xFC\x36\xCE\xC4", "中😀文"},
    {"\x81\x30\x81\x30", "\u0080"},
    {"\x84\x31\xA4\x37", "\uFFFD"},
    {"\x84\x31\xA4\x39", "\xEF\xBF\xBF"}, // U+FFFF
    {"\xE3\x32\x9A\x35", "\U0010FFFF"},
};

TEST(CodepageTest, GbkAndUtf8RoundTrip) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk);
        EXPECT_EQ(invalidGbkAt(c.gbk), std::string_view::npos);
    }
}

TEST(CodepageTest, GbkAndQStringRoundTrip) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.utf8);
        const QString expected = QString::fromUtf8(c.utf8.data(), qsizetype(c.utf8.size()));
        EXPECT_EQ(gbkToQString(c.gbk), expected);
        EXPECT_EQ(qStringToGbk(expected), c.gbk);
        EXPECT_EQ(qStringToGbkStrict(expected, "The keyword"), c.gbk);
    }
}

// Every character of code page 936 keeps its bytes: the files of the program read and are
// written as they were.
TEST(CodepageTest, EveryGbkCharacterKeepsItsBytes) {
    iconv_t cp936 = iconv_open("UTF-16LE", "CP936");
    ASSERT_NE(cp936, reinterpret_cast<iconv_t>(-1));
    int characters = 0;
    for (int lead = 0x80; lead <= 0xFF; ++lead)
        for (int trail = lead == 0x80 ? -1 : 0x40; trail <= (lead == 0x80 ? -1 : 0xFE); ++trail) {
            std::string gbk(1, char(lead));
            if (trail >= 0)
                gbk += char(trail);
            char16_t units[2] = {};
            char* in = gbk.data();
            size_t inLeft = gbk.size();
            char* out = reinterpret_cast<char*>(units);
            size_t outLeft = sizeof units;
            iconv(cp936, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cp936, &in, &inLeft, &out, &outLeft) == size_t(-1) || inLeft != 0)
                continue;
            ++characters;
            const QString text = utf16(std::u16string_view(units, (sizeof units - outLeft) / 2));
            ASSERT_EQ(gbkToQString(gbk), text) << std::hex << lead << ' ' << trail;
            ASSERT_EQ(qStringToGbk(text), gbk) << std::hex << lead << ' ' << trail;
        }
    iconv_close(cp936);
    EXPECT_GT(characters, 21000);
}

TEST(CodepageTest, WhatNoCodePageHoldsBecomesQuestionMark) {
    struct Case {
        QString text;
        std::string gbk;
        QString refused; // what qStringToGbkStrict says
    };
    const std::vector<Case> cases = {
        {utf16(u"a\xD800"
               u"b"),
         "a?b", "The keyword holds U+D800 (half of a surrogate pair), which is no character"},
        {utf16(u"a\xDC00"), "a?",
         "The keyword holds U+DC00 (half of a surrogate pair), which is no character"},
        {utf16(u"\u4E2D\xDBFF"), "\xD6\xD0?",
         "The keyword holds U+DBFF (half of a surrogate pair), which is no character"},
        // Private-use characters that GB18030 gave real characters' codes to.
        {utf16(u"a\uE78D"), "a?",
         "The keyword holds U+E78D, a private-use character GB18030 has no code for"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(qStringToGbk(c.text), c.gbk);
        try {
            qStringToGbkStrict(c.text, "The keyword");
            ADD_FAILURE() << "taken";
        } catch (const AppError& e) {
            EXPECT_EQ(e.message(), c.refused);
        }
    }
}

TEST(CodepageTest, InvalidGbkDecodesToReplacementCharacter) {
    struct Case {
        std::string gbk;
        QString text;
        size_t invalidAt;
    };
    const std::vector<Case> cases = {
        {"a\xFF"
         "b",
         utf16(u"a\uFFFDb"), 1},
        {"\xD6\xD0\xFF", utf16(u"中\uFFFD"), 2},
        // A lead byte cut off at the end of the text.
        {"a\x81", utf16(u"a\uFFFD"), 1},
        // Four bytes cut short, and four that name no character.
        {"\x81\x30\x81", utf16(u"\uFFFD0\uFFFD"), 0},
        {"\xD6\xD0\x84\x31\xA5\x30", utf16(u"中\uFFFD1\uFFFD0"), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gbk);
        EXPECT_EQ(gbkToQString(c.gbk), c.text);
        EXPECT_EQ(gbkToUtf8(c.gbk), c.text.toStdString());
        EXPECT_EQ(invalidGbkAt(c.gbk), c.invalidAt);
    }
}

TEST(CodepageTest, CodePointToGbk) {
    struct Case {
        char32_t codePoint;
        std::string gbk;
    };
    const std::vector<Case> cases = {
        {U'A', "A"},
        {U'\t', "\t"},
        {U'\0', "\0"s},
        {U'\u4E2D', "\xD6\xD0"},
        {U'\u3000', "\xA1\xA1"},
        {U'\u20AC', "\x80"},
        {U'\u00EF', "\x81\x30\x8A\x37"},
        {U'\U0001F600', "\x94\x39\xFC\x36"},
        {0xFFFF, "\x84\x31\xA4\x39"},
        {0xD800, "?"},
        {0xDC00, "?"},
        {0xE78D, "?"},
        {0x110000, "?"},
        {0xFFFFFFFF, "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code point: " << std::hex << uint32_t(c.codePoint));
        EXPECT_EQ(codePointToGbk(c.codePoint), c.gbk);
    }
}

// The first byte that is no UTF-8 is found where Qt's decoder would put U+FFFD.
TEST(CodepageTest, InvalidUtf8At) {
    constexpr size_t none = std::string_view::npos;
    const struct {
        std::string bytes;
        size_t at;
    } cases[] = {
        {"", none},
        {"na\xC3\xAFve \xF0\x9F\x98\x80", none},
        {"\xEF\xBF\xBD", none},     // U+FFFD itself
        {"\xF4\x8F\xBF\xBF", none}, // U+10FFFF
        {"na\xFFve", 2},
        {"\x80", 0},
        {"a\xC3", 1},      // cut short
        {"ab\xE4\xB8", 2}, // cut short
        {"\xE4\xB8"
         "a",
         0},                     // cut short before more text
        {"\xC0\xAF", 0},         // overlong "/"
        {"\xE0\x80\xAF", 0},     // overlong "/"
        {"\xF0\x80\x80\xAF", 0}, // overlong "/"
        {"x\xED\xA0\x80", 1},    // U+D800
        {"\xF4\x90\x80\x80", 0}, // beyond U+10FFFF
        {"\xF5\x80\x80\x80", 0},
        {"\xD6\xD0\xCE\xC4", 0}, // GBK
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(invalidUtf8At(c.bytes), c.at);
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decode(QByteArrayView(c.bytes.data(), qsizetype(c.bytes.size())));
        EXPECT_EQ(decode.hasError(), c.at != none) << decoded.toStdString();
    }
    EXPECT_EQ(byteName(0xFF), "\\xFF");
    EXPECT_EQ(byteName(0x0A), "\\x0A");
}

} // namespace
