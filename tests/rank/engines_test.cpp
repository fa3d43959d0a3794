#include "rank/engines.h"
#include "text/apperror.h"
#include "text/inifile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// 百度快照</a> in GBK, as the lower-cased Baidu page holds it.
constexpr char kBaiduDelimiter[] = "\xB0\xD9\xB6\xC8\xBF\xEC\xD5\xD5</a>";

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(Engines, EncodeKeyword) {
    const struct {
        Text keyword; // GBK
        Text encoded;
    } cases[] = {
        {"", ""},
        {"seo \xD3\xC5\xBB\xAF", "seo%20%E4%BC%98%E5%8C%96"}, // seo 优化
        {"%", "%25"},
        {"*#%<> []", "%2A%23%25%3C%3E%20%5B%5D"},
        {"a&b=c", "a%26b%3Dc"},
        {"C++", "C%2B%2B"},
        {"C++ \xBD\xCC\xB3\xCC", "C%2B%2B%20%E6%95%99%E7%A8%8B"}, // C++ 教程
        {"?", "%3F"},
        {"&+=/?:;,.!'()-_~\"{}|^`@$", "%26%2B%3D/%3F:;,.!'()-_~\"{}|^`@$"},
        {"SEO Tool", "SEO%20Tool"},
        {"\t\r\n", "%09%0D%0A"},
        {"\xA3\xAC", "%EF%BC%8C"}, // full-width comma
        {"\xD6\xD0\xCE\xC4", "%E4%B8%AD%E6%96%87"},
        // Four bytes each: one character, in UTF-8 two or four bytes.
        {"na\x81\x30\x8A\x37ve \x94\x39\xFC\x36", "na%C3%AFve%20%F0%9F%98%80"}, // naïve 😀
        {"\x80", "%E2%82%AC"},                                                  // €
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword);
        EXPECT_EQ(EncodeKeyword(c.keyword), c.encoded);
    }
}

TEST(Engines, ResultPageAddresses) {
    const EngineProfiles& profiles = defaultEngineProfiles();
    // All three serve their result pages over https today.
    for (const EngineProfile& engine : profiles)
        EXPECT_EQ(engine.address.rfind("https://", 0), 0u) << engine.address;

    const struct {
        Text keyword;
        int engine;
        int page;
        Text rest; // after the engine's address; empty: no address at all
    } cases[] = {
        {"seo", 0, 1, "/s?wd=seo&pn=0"},
        {"seo", 0, 2, "/s?wd=seo&pn=10"},
        {"seo", 0, 50, "/s?wd=seo&pn=490"},
        {"seo", 1, 1, "/web?query=seo&ie=utf8&page=1"},
        {"seo", 1, 2, "/web?query=seo&ie=utf8&page=2"},
        {"seo", 1, 50, "/web?query=seo&ie=utf8&page=50"},
        {"seo", 2, 1, "/s?q=seo&pn=1"},
        {"seo", 2, 2, "/s?q=seo&pn=2"},
        {"seo", 2, 50, "/s?q=seo&pn=50"},
        {"", 0, 1, "/s?wd=&pn=0"},
        {"", 1, 1, "/web?query=&ie=utf8&page=1"},
        {"", 2, 3, "/s?q=&pn=3"},
        {"a&b=c", 0, 1, "/s?wd=a%26b%3Dc&pn=0"},
        {"C++?", 2, 1, "/s?q=C%2B%2B%3F&pn=1"},
        {"seo \xD3\xC5\xBB\xAF", 1, 1, "/web?query=seo%20%E4%BC%98%E5%8C%96&ie=utf8&page=1"},
        {"seo", 3, 1, ""},
        {"seo", -1, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword + " engine " + std::to_string(c.engine) + " page " +
                     std::to_string(c.page));
        const Text expected =
            c.rest.empty() ? Text() : profiles[static_cast<size_t>(c.engine)].address + c.rest;
        EXPECT_EQ(BuildResultPageUrl(c.keyword, c.engine, c.page), expected);
    }
}

TEST(Engines, Markers) {
    const struct {
        int engine;
        Text delimiter;
        Text listStart;
        Text listEnd;
    } cases[] = {
        {0, kBaiduDelimiter, "", ""},
        // The browser hands over its own serialization, which quotes every attribute value.
        {1, "<!-- z -->  <!-- a -->", "<div class=\"results\">", ""},
        {2, "<h3 class=\"res-title\">", "<div id=\"main\">", ""},
    };
    const EngineProfiles& profiles = defaultEngineProfiles();
    ASSERT_EQ(profiles.size(), std::size(cases));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.engine);
        const EngineProfile& profile = profiles[static_cast<size_t>(c.engine)];
        EXPECT_EQ(profile.delimiter, c.delimiter);
        EXPECT_EQ(profile.listStart, c.listStart);
        EXPECT_EQ(profile.listEnd, c.listEnd);
    }
}

TEST(Engines, GridTexts) {
    const struct {
        int value;
        QString history;
        QString batch;
    } cases[] = {
        {-1, "", ""},    {0, "百度", "全部"}, {1, "搜狗", "百度"}, {2, "好搜", "搜狗"},
        {3, "", "好搜"}, {4, "", ""},         {65535, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(SortQuerySearcherTypeGetText(c.value), c.history);
        EXPECT_EQ(BatchQuerySearcherTypeGetText(c.value), c.batch);
    }
}

// The browser loads whatever it is given: an engine whose address is no web page, or whose
// result page does not carry the keyword, is refused when the table is read, naming the key.
TEST(Engines, AddressesThatAreNoWebPagesAreRefused) {
    const struct {
        const char* line;
        const char* message; // a part of the error's text
    } cases[] = {
        {"BaiduAddress=file:///etc/passwd", "[Engines] BaiduAddress=file:///etc/passwd in "},
        {"BaiduAddress=data:text/html,<a href=http://a.cn>a</a>", "BaiduAddress=data:"},
        {"SogouAddress=javascript:alert(1)", "SogouAddress=javascript:alert(1)"},
        {"HaosouAddress=view-source:https://www.so.com", "HaosouAddress=view-source:"},
        {"BaiduAddress=chrome://version", "BaiduAddress=chrome://version"},
        {"BaiduAddress=qrc:/index.html", "BaiduAddress=qrc:/index.html"},
        {"BaiduAddress=ftp://ftp.example.com", "BaiduAddress=ftp://ftp.example.com"},
        {"BaiduAddress=https://", "BaiduAddress=https://"},
        {"Added=bing\r\nBingAddress=file:///tmp\r\nBingPage=/s?q={keyword}",
         "BingAddress=file:///tmp"},
        {"SogouPage=/web?query=seo", "[Engines] SogouPage=/web?query=seo in Setting.ini has no "
                                     "{keyword}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        QTemporaryDir dir;
        ASSERT_TRUE(
            writeAll(dir.filePath("Setting.ini"), QByteArray("[Engines]\r\n") + c.line + "\r\n"));
        try {
            loadEngineProfiles(IniFile(dir.filePath("Setting.ini")));
            ADD_FAILURE() << "taken";
        } catch (const AppError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message)))
                << e.message().toStdString();
        }
    }
    // A name is shown on terminals and in the windows: no escape sequences, no 100 kB.
    for (const auto& [line, shown] :
         {std::pair<QByteArray, QString>{"BaiduName=\x1B[2J\x1B]0;owned\x07"
                                         "Baidu\x7F",
                                         "[2J]0;ownedBaidu"},
          {"BaiduName=" + QByteArray(100000, 'x'), QString(40, 'x')},
          // Forty characters, an emoji one of them, never half of one.
          {"BaiduName=" + QByteArray(39, 'x') + "\x94\x39\xFC\x36\x94\x39\xFC\x36",
           QString(39, 'x') + QString::fromUtf8("\U0001F600")}}) {
        QTemporaryDir named;
        ASSERT_TRUE(writeAll(named.filePath("Setting.ini"), "[Engines]\r\n" + line + "\r\n"));
        EXPECT_EQ(loadEngineProfiles(IniFile(named.filePath("Setting.ini")))[0].name, shown);
    }
    // Web addresses of any host and port are engines' business.
    QTemporaryDir dir;
    ASSERT_TRUE(writeAll(dir.filePath("Setting.ini"),
                         "[Engines]\r\nBaiduAddress=HTTP://127.0.0.1:8080\r\n"));
    EXPECT_EQ(loadEngineProfiles(IniFile(dir.filePath("Setting.ini")))[0].address,
              "HTTP://127.0.0.1:8080");
}

TEST(Engines, ProfilesFromSettings) {
    QTemporaryDir dir;
    const IniFile settings(dir.filePath("Setting.ini"));

    auto same = [](const EngineProfile& a, const EngineProfile& b) {
        return a.address == b.address && a.delimiter == b.delimiter && a.listStart == b.listStart &&
               a.listEnd == b.listEnd && a.delimiterOpens == b.delimiterOpens;
    };
    const EngineProfiles& defaults = defaultEngineProfiles();
    const QByteArray withoutSection[] = {
        "", // no file
        "[Setting]\r\nBaiduAddress=http://elsewhere.test\r\n",
        "[Engines]\r\n; BaiduAddress=http://commented.test\r\n",
    };
    for (const QByteArray& file : withoutSection) {
        SCOPED_TRACE(file.toStdString());
        QFile::remove(settings.path());
        if (!file.isEmpty()) {
            ASSERT_TRUE(writeAll(settings.path(), file));
        }
        const EngineProfiles loaded = loadEngineProfiles(settings);
        for (size_t i = 0; i < loaded.size(); ++i)
            EXPECT_TRUE(same(loaded[i], defaults[i])) << i;
    }

    ASSERT_TRUE(writeAll(settings.path(), "[Engines]\r\n"
                                          "BaiduAddress=http://127.0.0.1:8080\r\n"
                                          "SogouDelimiter=\"  <LI Class=R>  \"\r\n"
                                          "HaosouListStart=<DIV ID=\"Main\">\r\n"
                                          "haosoulistend = \"</UL>\" \r\n"
                                          "[Other]\r\nSogouAddress=http://ignored.test\r\n"));
    EngineProfiles loaded = loadEngineProfiles(settings);
    EXPECT_EQ(loaded[0].address, "http://127.0.0.1:8080");
    EXPECT_EQ(BuildResultPageUrl("seo", 0, 2, loaded), "http://127.0.0.1:8080/s?wd=seo&pn=10");
    EXPECT_EQ(loaded[0].delimiter, kBaiduDelimiter);
    EXPECT_EQ(loaded[1].address, defaults[1].address);
    // Pages are lower-cased before they are searched, so the markers must be too.
    EXPECT_EQ(loaded[1].delimiter, "  <li class=r>  ");
    EXPECT_EQ(loaded[2].listStart, "<div id=\"main\">");
    EXPECT_EQ(loaded[2].listEnd, "</ul>");
    EXPECT_EQ(loaded[2].delimiter, defaults[2].delimiter);

    // Read afresh at each call: a changed file counts at once.
    ASSERT_TRUE(writeAll(settings.path(), "[Engines]\r\nSogouAddress=http://sogou.test\r\n"));
    loaded = loadEngineProfiles(settings);
    EXPECT_EQ(loaded[0].address, defaults[0].address);
    EXPECT_EQ(BuildResultPageUrl("seo", 1, 1, loaded),
              "http://sogou.test/web?query=seo&ie=utf8&page=1");
}

TEST(Engines, PageSize) {
    const struct {
        int engine;
        int page;
        int size;
        Text rest;
    } cases[] = {
        {0, 1, 10, "/s?wd=seo&pn=0"},
        {0, 1, 50, "/s?wd=seo&pn=0&rn=50"},
        {0, 3, 50, "/s?wd=seo&pn=100&rn=50"},
        {0, 2, 80, "/s?wd=seo&pn=50&rn=50"}, // Baidu serves at most 50
        {0, 2, 0, "/s?wd=seo&pn=1&rn=1"},
        {1, 2, 50, "/web?query=seo&ie=utf8&page=2"}, // the others serve ten, whatever is asked
        {2, 2, 50, "/s?q=seo&pn=2"},
    };
    const EngineProfiles& profiles = defaultEngineProfiles();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.engine) + " size " + std::to_string(c.size));
        EXPECT_EQ(BuildResultPageUrl("seo", c.engine, c.page, profiles, c.size),
                  profiles[static_cast<size_t>(c.engine)].address + c.rest);
    }
}

// A user changes any field of a built-in engine and adds engines, in the settings file alone.
TEST(Engines, TableFromSettings) {
    QTemporaryDir dir;
    const IniFile settings(dir.filePath("Setting.ini"));
    ASSERT_TRUE(writeAll(settings.path(),
                         "[Engines]\r\n"
                         "Added = find, Bad-Key, 9lives, baidu, find, next2\r\n"
                         "BaiduName=\xB0\xD9\xB6\xC8\xCD\xF8\xD2\xB3\r\n" // 百度网页
                         "BaiduMode=Markers\r\n"
                         "BaiduBlocks=#content_left > .result\r\n"
                         "SogouMode=recipe\r\n"
                         "SogouUrlAttribute=data-href\r\n"
                         "HaosouMode=sometimes\r\n"
                         "FindName=\xD5\xD2\xD5\xD2\r\n" // 找找
                         "FindAddress=https://find.example\r\n"
                         "FindPage=/search?q={keyword}&first={first}&n={size}\r\n"
                         "FindPageSizeParam=&count={size}\r\n"
                         "FindMaxPageSize=30\r\n"
                         "FindBlocks=#b_results > li\r\n"
                         "FindSkip=div[data-ad=\"1\"], .b_ad\r\n"
                         "Next2Address=https://next.example\r\n"
                         "Next2Page=/q/{keyword}/{page}\r\n"));
    const EngineProfiles engines = loadEngineProfiles(settings);
    ASSERT_EQ(engines.size(), 5u);
    EXPECT_EQ(engines[0].name, QStringLiteral("百度网页"));
    EXPECT_EQ(engines[0].mode, ScanMode::Markers);
    EXPECT_EQ(engines[0].recipe.blocks, QStringLiteral("#content_left > .result"));
    EXPECT_EQ(engines[0].recipe.urlAttribute, QStringLiteral("mu"));
    EXPECT_EQ(engines[1].mode, ScanMode::Recipe);
    EXPECT_EQ(engines[1].recipe.urlAttribute, QStringLiteral("data-href"));
    EXPECT_EQ(engines[2].mode, ScanMode::Recipe);
    EXPECT_EQ(engines[3].key, "find");
    EXPECT_EQ(engines[3].name, QStringLiteral("找找"));
    EXPECT_EQ(engines[3].recipe.skip, QStringLiteral("div[data-ad=\"1\"], .b_ad"));
    EXPECT_EQ(engines[4].key, "next2");
    EXPECT_EQ(engines[4].name, QStringLiteral("next2"));

    EXPECT_EQ(BuildResultPageUrl("a b", 3, 3, engines),
              "https://find.example/search?q=a%20b&first=21&n=10");
    EXPECT_EQ(BuildResultPageUrl("a b", 3, 3, engines, 50),
              "https://find.example/search?q=a%20b&first=61&n=30&count=30");
    // A keyword that looks like a placeholder stays what it is.
    EXPECT_EQ(BuildResultPageUrl("{page}", 4, 2, engines), "https://next.example/q/{page}/2");

    // The names every window and the command line use.
    setCurrentEngineProfiles(engines);
    EXPECT_EQ(SortQuerySearcherTypeGetText(3), QStringLiteral("找找"));
    EXPECT_EQ(BatchQuerySearcherTypeGetText(4), QStringLiteral("找找"));
    EXPECT_EQ(BatchQuerySearcherTypeGetText(6), QString());
    const struct {
        QString name;
        int engine;
    } names[] = {{"baidu", 0}, {"SOGOU", 1}, {"好搜", 2},     {"find", 3},
                 {"找找", 3},  {"4", 4},     {"5", -1},       {"-1", -1},
                 {"bing", -1}, {"", -1},     {"百度网页", 0}, {"百度", -1}};
    for (const auto& n : names)
        EXPECT_EQ(findEngine(n.name), n.engine) << n.name.toStdString();
    setCurrentEngineProfiles(defaultEngineProfiles());
}

} // namespace
