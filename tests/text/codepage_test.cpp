#include "text/codepage.h"

#include <gtest/gtest.h>
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
    // Code page 936 puts the euro sign on a single byte.
    {"\x80", "€"},
    {"a\0\xD6\xD0\0b"s, "a\0中\0b"s},
};

TEST(CodepageTest, GbkAndUtf8RoundTrip) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk);
    }
}

TEST(CodepageTest, GbkAndQStringRoundTrip) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.utf8);
        const QString expected = QString::fromUtf8(c.utf8.data(), qsizetype(c.utf8.size()));
        EXPECT_EQ(gbkToQString(c.gbk), expected);
        EXPECT_EQ(qStringToGbk(expected), c.gbk);
    }
}

TEST(CodepageTest, CharactersGbkLacksBecomeQuestionMarks) {
    struct Case {
        QString text;
        std::string gbk;
    };
    const std::vector<Case> cases = {
        {QString::fromUtf8("a\U0001F600b"), "a?b"},
        {QString::fromUtf8("\xE4\xB8\xAD\U0001F600\xE6\x96\x87"), "\xD6\xD0?\xCE\xC4"},
        {utf16(u"a\xD800"
               u"b"),
         "a?b"},
        {utf16(u"a\xDC00"), "a?"},
        {QString(QChar(0xFFFF)), "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(qStringToGbk(c.text), c.gbk);
        // A lone surrogate has no UTF-8 form to start from.
        if (c.text.isValidUtf16()) {
            EXPECT_EQ(utf8ToGbk(c.text.toStdString()), c.gbk);
        }
    }
}

TEST(CodepageTest, InvalidGbkDecodesToReplacementCharacter) {
    struct Case {
        std::string gbk;
        QString text;
    };
    const std::vector<Case> cases = {
        {"a\xFF"
         "b",
         utf16(u"a\uFFFDb")},
        {"\xD6\xD0\xFF", utf16(u"中\uFFFD")},
        // A lead byte cut off at the end of the text.
        {"a\x81", utf16(u"a\uFFFD")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gbk);
        EXPECT_EQ(gbkToQString(c.gbk), c.text);
        EXPECT_EQ(gbkToUtf8(c.gbk), c.text.toStdString());
    }
}

TEST(CodepageTest, Utf16UnitToGbk) {
    struct Case {
        char16_t unit;
        std::string gbk;
    };
    const std::vector<Case> cases = {
        {u'A', "A"},
        {u'\t', "\t"},
        {u'\0', "\0"s},
        {u'\u4E2D', "\xD6\xD0"},
        {u'\u3000', "\xA1\xA1"},
        {u'\u20AC', "\x80"},
        {0xD800, "?"},
        {0xDC00, "?"},
        {0xFFFF, "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "unit: " << int(c.unit));
        EXPECT_EQ(utf16UnitToGbk(c.unit), c.gbk);
    }
}

} // namespace
