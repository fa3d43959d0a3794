#include "sender/sitekind.h"

#include <gtest/gtest.h>

namespace {

TEST(ReduceDomain, StripsSchemeWwwPathAndOneLabel) {
    const struct {
        const char* site;
        const char* reduced;
    } cases[] = {
        {"", ""},
        {"a.b", "a.b"},
        {"a.b.c", "a.b.c"},
        {"a.b.c.d", "b.c.d"},
        // Only one label goes, however many dots are left.
        {"a.b.c.d.e", "b.c.d.e"},
        {"WWW.a.b.c.d", "a.b.c.d"},
        {"HTTP://x.y", "x.y"},
        {"hTtP://WwW.X.Y", "X.Y"},
        // After "www." nothing more is removed, the path included.
        {"http://www.a.b/p", "a.b/p"},
        {"www.a.b.c.d/x.y", "a.b.c.d/x.y"},
        // Any other scheme is cut at its first "/".
        {"https://a.b", "https:"},
        {"example.com/blog", "example.com"},
        // Dots in the path do not count.
        {"a.b/c.d.e.f", "a.b"},
        {"a.b.c.d/x.y", "b.c.d"},
        {"Blog.Example.Co.Uk", "Example.Co.Uk"},
        {"http://", ""},
        {"www.", ""},
        {"\xD6\xD0\xCE\xC4.com", "\xD6\xD0\xCE\xC4.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        EXPECT_EQ(ReduceDomain(c.site), c.reduced);
    }
}

TEST(SiteKind, ClassifiesSites) {
    const struct {
        const char* site;
        int kind;
    } cases[] = {
        {"example.com", 1},
        {"example.com.cn", 1},
        {"blog.example.com", 1},
        {"EXAMPLE.COM", 1},
        {"localhost", 1},
        {"wwwexample.com", 1},
        {"\xD6\xD0\xCE\xC4.com", 1},
        // A blank line of "Url.txt" stays an empty entry.
        {"", 1},
        {"www.example.com", 2},
        {"WWW.Example.com", 2},
        {"WWW.EXAMPLE.COM", 2},
        {"www.blog.example.com", 2},
        {"www.a.b.c.d", 2},
        {"a.blog.example.com", 3},
        {"a.b.c.d.e", 3},
        {"example.com/blog", 4},
        {"example.com/news", 4},
        {"a.b.c.d/news", 4},
        {"www.example.com/news", 4},
        // What "example.com//" becomes after the tidy-up: nothing after the first "/".
        {"example.com/", 4},
        {"example.com/index.html", 5},
        {"example.com/blog/a.htm", 5},
        {"www.a.b.c.d/x.html", 5},
        // A leftover scheme's first "/" is the one that counts.
        {"http://example.com", 5},
        {"http://localhost", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        EXPECT_EQ(SiteKind(c.site), c.kind);
    }
}

} // namespace
