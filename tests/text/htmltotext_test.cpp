#include "text/htmltotext.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Case {
    std::string input;
    std::string expected;
};

struct KeepCase {
    std::string input;
    std::string keepList;
    std::string expected;
};

std::string repeat(const std::string& piece, int count) {
    std::string out;
    out.reserve(piece.size() * count);
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

using Convert = Text (*)(std::string_view);

void expectAll(Convert convert, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "input: \"" << c.input << "\"");
        EXPECT_EQ(convert(c.input), c.expected);
    }
}

Text plainText(std::string_view html) {
    return HtmlToText(html, "");
}

TEST(HtmlToTextTest, TagScan) {
    const std::vector<Case> cases = {
        {"", ""},
        {"plain, \xD6\xD0\xCE\xC4\r\nline", "plain, \xD6\xD0\xCE\xC4\r\nline"},
        {"<p>one<br>two</p>", "\r\n\r\none\r\ntwo"},
        {"<BR>", "\r\n"},
        {"<P>", "\r\n\r\n"},
        // Only the bare tags break lines; attributes, slashes or other
        // whitespace make them ordinary tags.
        {"a<br/>b<br />c<p class=x>d<p >e<br\t>f<br\r\n>g", "abcdefg"},
        {"<td>a</td><td>b</td>", "ab"},
        {"<a>1</a> <b>2</b>", "1 2"},
        {"<!DOCTYPE html><html><body>Hi</body></html>", "Hi"},
        {"<>x", "x"},
        {"a>b", "a>b"},
        // A "<" without a ">" after it ends the scan; the rest stays as text.
        {"a<b", "a<b"},
        {"x<i>y<z", "xy<z"},
        {"<<<", "<<<"},
        // A "<" followed by another "<" before any ">" is plain text.
        {"a<b<i>c", "a<bc"},
        {"a<<b>c", "a<c"},
        // A tag runs to the last ">" before the next "<" (or the text's end).
        {"<a title=x>y>link</a>", "link"},
        {"<a>b>c>d", "d"},
        {"a<b>c>d<e>f", "adf"},
        // The extended tag's key is no longer "<br>" or "<p>".
        {"<br>x>y", "y"},
        {"<p>>z", "z"},
    };
    expectAll(plainText, cases);
}

TEST(HtmlToTextTest, KeepList) {
    const std::vector<KeepCase> cases = {
        {"<b>bold</b>", "<b>", "<b>bold"},
        // The keep list is lower-cased; the kept tag keeps the input's case.
        {"<B>Bold</B>", "<B>", "<B>Bold"},
        {"<a href=x>t</a><a>u</a><b>v<i>w", "<a ><b>", "<a href=x>tu<b>vw"},
        // Keeping wins over the line break.
        {"<br>x", "<br>", "<br>x"},
        {"<i>x</i><br>", "<b>", "x\r\n"},
        {"x&nbsp;&NBSP;y&nbsp", "&nbsp;", "x&nbsp;&NBSP;y&nbsp"},
        {"x&nbsp;y", "&NBSP;", "x&nbsp;y"},
        {"&nbsp;&lt;&amp;", "&nbsp;", "&nbsp;<&"},
    };
    for (const KeepCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "input: \"" << c.input << "\", keep: \"" << c.keepList << "\"");
        EXPECT_EQ(HtmlToText(c.input, c.keepList), c.expected);
    }
}

TEST(HtmlToTextTest, BlocksRemovedBeforeTagScan) {
    const std::vector<Case> cases = {
        {"<script>var a='<b>';</script>text", "text"},
        {"<SCRIPT>x</SCRIPT>t", "t"},
        {"<script>x</script >t", "xt"},
        {"<script>if (a<b) x=1;", "if (a<b) x=1;"},
        {"<script</script>x", "<scriptx"},
        {"<scr<script>x</script>ipt>y</script>z", "z"},
        {"<!-- <script> -->x</script>y", "<!-- y"},
        {"<style>p{}</style><!-- c -->text", "text"},
        // An unterminated style leaves the comment to the tag scan.
        {"<style>p{} <!-- c -->text", "p{} text"},
        {"<!--<i>-->d", "d"},
        {"<style>b<!--<i>-->d", "b<!--d"},
    };
    expectAll(plainText, cases);
}

TEST(HtmlToTextTest, Entities) {
    const std::vector<Case> cases = {
        {"x&nbsp;&nbsp;y", "x y"},  {"a&NBSP;b&Nbsp c", "a b c"},
        {"a&nbsp", "a "},           {"&LT;&Gt;&lDquo;&RDQUO;&Quot;&aMp;", "<>\"\"\"&"},
        {"&lt;br&gt;x", "<br>x"},   {"&amp;lt;", "&lt;"},
        {"&AMP;amp;", "&amp;"},     {"&amp;quot;", "&quot;"},
        {"&#38;lt;", "<"},          {"&#38;nbsp;", " "},
        {"&#60;b&#62;", "<b>"},     {"&#60;br&#62;", "<br>"},
        {"&copy;&lt", "&copy;&lt"}, {"&#20013;&#x6587;", "\xD6\xD0\xCE\xC4"},
        {"&#55296;", "?"},
    };
    expectAll(plainText, cases);
}

TEST(HtmlToTextTest, Whitespace) {
    const std::vector<Case> cases = {
        {"a\t\tb", "a b"},
        {"a    b", "a b"},
        {"a     b", "a b"},
        {"  a \r\n  b  ", " a \r\n b "},
        {"a\r\n\r\nb", "a\r\n\r\nb"},
        {"a&#9;b", "a b"},
        {"a&#32;&#32;b", "a b"},
        {"<b>a</b> \t <i>b</i>", "a b"},
    };
    expectAll(plainText, cases);
}

TEST(RemoveScriptsTest, Blocks) {
    const std::vector<Case> cases = {
        {"", ""},
        {"<script>var a='<b>';</script>text", "text"},
        {"A<SCRIPT>b</script>C", "AC"},
        {"<script type=\"a\">x</script>t", "t"},
        {"<scripts>a</script>b", "b"},
        {"a<script>1</script>b<script>2</script>c", "abc"},
        {"<script>a<script>b</script>c", "c"},
        // Unterminated: the first failed search stops the removal.
        {"<script>x</script >t", "<script>x</script >t"},
        {"x</script><script>y", "x</script><script>y"},
        {"<script", "<script"},
        {"<script>x", "<script>x"},
        {"<script</script>x", "<script</script>x"},
        {"<script>a</script>b<script>c", "b<script>c"},
        // A cut can join the text around it into a new block.
        {"<scr<script>x</script>ipt>y</script>z", "z"},
        {"<Scr<script>x</script>IPT>y</SCRIPT>z", "z"},
        {"<!-- <script> -->x</script>y", "<!-- y"},
        {"<style>a</style><!--c-->", "<style>a</style><!--c-->"},
    };
    expectAll(RemoveScripts, cases);
}

TEST(RemoveStylesAndCommentsTest, Blocks) {
    const std::vector<Case> cases = {
        {"", ""},
        {"<style>p{}</style><!-- c -->text", "text"},
        {"A<STYLE type=x>a</Style>B", "AB"},
        {"<style</style>x", "x"},
        {"<style>a</style>b<style>c</style>d", "bd"},
        // An unterminated style ends the routine: later styles and all comments stay.
        {"<style>p{} <!-- c -->text", "<style>p{} <!-- c -->text"},
        {"<style>a</style>b<style>c<!--d-->e", "b<style>c<!--d-->e"},
        {"</style><style>a", "</style><style>a"},
        {"<!--a-->b<!--c", "b<!--c"},
        {"a-->b<!--c-->d", "a-->bd"},
        // The "-->" has to begin after the whole "<!--".
        {"<!-->", "<!-->"},
        {"<!-->a-->b", "b"},
        {"<!--->x-->y", "y"},
        {"<!--><!-->x", "x"},
        {"<!<!--x-->--y-->z", "z"},
        {"<sty<style>a</style>le>b</style>c", "c"},
        {"<script>x</script>", "<script>x</script>"},
    };
    expectAll(RemoveStylesAndComments, cases);
}

TEST(DecodeNumericRefsTest, References) {
    const std::vector<Case> cases = {
        {"", ""},
        {"a&#65;b&#66;c", "aAbBc"},
        {"&#0065;", "A"},
        {"&#+65;", "A"},
        {"&#x41;", "A"},
        {"&#X41;", "A"},
        {"&#$41;", "A"},
        {"&#0x41;", "A"},
        {"&#0X41;", "A"},
        {"&# 65;", "A"},
        {"&#   x41;", "A"},
        {"&#20013;", "\xD6\xD0"},
        {"&#x4e2d;", "\xD6\xD0"},
        {"&#x4E2D;", "\xD6\xD0"},
        {"&#8364;", "\x80"},
        // Characters GBK lacks: their four bytes, in place of a longer reference.
        {"&#239;", "\x81\x30\x8A\x37"},
        {"&#$80;", "\x81\x30\x81\x30"},
        {"na&#239;ve &#128512;!", "na\x81\x30\x8A\x37ve \x94\x39\xFC\x36!"},
        {"&&#239;&#65;&#x10041;", "&\x81\x30\x8A\x37"
                                  "A\x90\x30\x87\x35"},
        // Past one UTF-16 unit: the character of that number, not that of its low 16 bits.
        {"&#65601;", "\x90\x30\x87\x35"},
        {"&#x10041;", "\x90\x30\x87\x35"},
        // No character: the default character.
        {"&#55296;", "?"},
        {"&#x110000;", "?"},
        {"&#2147483647;", "?"},
        {"&#xFFFFFFFF;", "?"},
        {"&#-65;", "?"},
        {"&#-0;", std::string(1, '\0')},
        {"&#x0000000041;", "A"},
        // Not whole numbers: left alone.
        {"&#6.5;", "&#6.5;"},
        {"&#65 ;", "&#65 ;"},
        {"&#;", "&#;"},
        {"&#x;&#0x;&#$;&#+;&#-;", "&#x;&#0x;&#$;&#+;&#-;"},
        {"&#1e3;&#x4g;&#- 65;&#-x41;&#x-41;", "&#1e3;&#x4g;&#- 65;&#-x41;&#x-41;"},
        {"&#2147483648;", "&#2147483648;"},
        {"&#-2147483649;", "&#-2147483649;"},
        {"&#4294967296;", "&#4294967296;"},
        {"&#99999999999999999999;", "&#99999999999999999999;"},
        {"&#x100000000;", "&#x100000000;"},
        // The reference runs to the first ";" after "&#".
        {"&#65 x &#66;", "&#65 x &#66;"},
        {"&#66&#65;", "&#66&#65;"},
        {"&#x;&#65;", "&#x;A"},
        // No ";" ends decoding.
        {"a&#", "a&#"},
        {"&#65", "&#65"},
        {"&#65;&#66", "A&#66"},
        {"&#x;&#66", "&#x;&#66"},
        // A decoded "&" or "#" can form a new reference with its neighbours.
        {"&#38;#65;", "A"},
        {"&&#35;65;", "A"},
        {"&#38;&#35;65;", "A"},
        {"&#38;#x26;#65;", "A"},
    };
    expectAll(DecodeNumericRefs, cases);
}

TEST(HtmlToTextTest, LargeInputsFinish) {
    const int mb = 1 << 20;
    const std::vector<Case> cases = {
        {std::string(mb, '<'), std::string(mb, '<')},
        {std::string(mb, '<') + ">x", std::string(mb - 1, '<') + "x"},
        {"<a" + std::string(mb, '>') + "x", "x"},
        {repeat("a<", 200000) + "b>c", repeat("a<", 199999) + "ac"},
        {repeat("<b>x", 200000), std::string(200000, 'x')},
        {repeat("<script>", 100000) + "x", "x"},
        {repeat("<script>x</script>", 100000) + "y", "y"},
        {repeat("<scr", 100000) + "<script>x</script>" + repeat("ipt>x</script>", 100000) + "y",
         "y"},
        {repeat("<style>", 100000) + "y", "y"},
        {repeat("<!--x-->", 100000) + "y", "y"},
        {repeat("<!--", 100000) + "y", repeat("<!--", 100000) + "y"},
        {repeat("&#65;", 200000), std::string(200000, 'A')},
        {repeat("&#38;", 200000) + "#65;", std::string(199999, '&') + "A"},
        {repeat("&#x;", 200000), repeat("&#x;", 200000)},
        {repeat("&#", 500000), repeat("&#", 500000)},
        {repeat("&amp;", 200000), std::string(200000, '&')},
        {std::string(mb, ' '), " "},
        {repeat("a\t", 200000), repeat("a ", 200000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "input starts: \"" << c.input.substr(0, 40) << "\"");
        EXPECT_TRUE(HtmlToText(c.input, "") == c.expected);
    }
}

TEST(DecodeNumericRefsTest, ManyReferencesFinish) {
    EXPECT_TRUE(DecodeNumericRefs(repeat("&#20013;", 200000)) == repeat("\xD6\xD0", 200000));
    EXPECT_TRUE(DecodeNumericRefs(repeat("&#38;", 200000) + "#65;") ==
                std::string(199999, '&') + "A");
}

} // namespace
