#include "rank/resultrecipe.h"

#include <gtest/gtest.h>

namespace {

TEST(SiteMatcher, MatchesByDestinationHostAndPath) {
    const struct {
        const char* typed;
        const char* url;
        bool matches;
    } cases[] = {
        {"www.example.com", "https://example.com/a", true},
        {"www.example.com", "http://m.example.com/", true},
        {"example.com", "https://www.example.com/x?y=1&z=2", true},
        {"example.com", "https://a.b.example.com", true},
        {"  Example.COM ", "https://WWW.EXAMPLE.COM./", true},
        {"https://example.com/", "http://example.com", true},
        {"example.com:8080", "https://example.com/", true},
        {"example.com", "https://example.com.cn/", false},
        {"example.com", "https://myexample.com/", false},
        {"m.example.com", "https://example.com/", false},
        {"m.example.com", "https://www.m.example.com/", true},
        {"example.com", "https://other.org/?u=example.com", false},
        {"example.com", "https://other.org/example.com", false},
        {"example.com/blog", "https://www.example.com/blog/post", true},
        {"example.com/blog", "https://example.com/blogs", true}, // the path starts with it
        {"example.com/blog", "https://example.com/news/blog", false},
        {"example.com/blog", "https://example.com/", false},
        {"example.com/Blog", "https://example.com/blog", false},
        {"example.com/文章", "https://example.com/%E6%96%87%E7%AB%A0/1", true},
        {"例子.中国", "https://www.xn--fsqu00a.xn--fiqs8s/", true},
        {"", "https://example.com/", false},
        {"www.", "https://example.com/", false},
        {"example.com", "", false},
        {"example.com", "not a url", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " / " + c.url);
        EXPECT_EQ(SiteMatcher(QString::fromUtf8(c.typed)).matches(QString::fromUtf8(c.url)),
                  c.matches);
    }
}

TEST(ResultRecipe, RealDestinations) {
    ResultRecipe baidu;
    baidu.notDestination = QStringLiteral("^nourl\\.|\\.recommend_list\\.baidu\\.com$");
    const struct {
        const char* url;
        bool destination;
    } cases[] = {
        {"https://cloud.tencent.com/developer/article/2508227", true},
        {"https://baike.baidu.com/item/x", true},
        {"http://nourl.ubs.baidu.com/61344", false},
        {"http://28608.recommend_list.baidu.com", false},
        {"null", false},
        {"", false},
        {"javascript:void(0)", false},
        {"/relative/path", false},
        {"ftp://example.com/", false},
        {"https://", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isDestination(QString::fromUtf8(c.url), baidu), c.destination) << c.url;
    // A pattern the user got wrong keeps nothing out.
    baidu.notDestination = QStringLiteral("(");
    EXPECT_TRUE(isDestination(QStringLiteral("http://nourl.ubs.baidu.com/1"), baidu));
}

TEST(ResultRecipe, PageAnswers) {
    PageReading r = readPageAnswer(QStringLiteral(
        R"({"blocks":3,"results":[{"url":"https://a.cn/?x=1&y=2","title":"A"},{"url":"b"}],)"
        R"("pager":true,"next":false,"blocked":false,"text":""})"));
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(r.blocks, 3);
    ASSERT_EQ(r.results.size(), 2u);
    EXPECT_EQ(r.results[0].url, QStringLiteral("https://a.cn/?x=1&y=2"));
    EXPECT_EQ(r.results[0].title, QStringLiteral("A"));
    EXPECT_TRUE(r.pagerShown);
    EXPECT_FALSE(r.nextShown);

    for (const QString& broken : {QString(), QStringLiteral("undefined"), QStringLiteral("[1]"),
                                  QStringLiteral("{\"blocks\":")})
        EXPECT_FALSE(readPageAnswer(broken).error.isEmpty()) << broken.toStdString();
    EXPECT_EQ(readPageAnswer(QStringLiteral(R"({"error":"'##' is not a valid selector"})")).error,
              QStringLiteral("'##' is not a valid selector"));
}

TEST(ResultRecipe, LastPage) {
    const struct {
        const char* name;
        const char* pager;
        const char* next;
        bool pagerShown;
        bool nextShown;
        bool last;
    } cases[] = {
        {"pager with a next link", "#page", "#page a", true, true, false},
        {"pager without one", "#page", "#page a", true, false, true},
        {"no pager: a short page proves nothing", "#page", "#page a", false, false, false},
        {"next link alone", "", "a.next", false, false, true},
        {"next link alone, shown", "", "a.next", false, true, false},
        {"recipe without either", "", "", false, false, false},
    };
    for (const auto& c : cases) {
        ResultRecipe recipe;
        recipe.pager = QString::fromUtf8(c.pager);
        recipe.next = QString::fromUtf8(c.next);
        PageReading reading;
        reading.pagerShown = c.pagerShown;
        reading.nextShown = c.nextShown;
        EXPECT_EQ(isLastPage(recipe, reading), c.last) << c.name;
    }
}

} // namespace
