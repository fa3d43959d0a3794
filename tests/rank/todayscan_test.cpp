// Rank queries through the real browser against fake engines that serve today's markup: the
// result recipes, matching by destination, the engine's last page and every honest outcome.
#include "core/connstr.h"
#include "core/statussink.h"
#include "fakeengine.h"
#include "modules/browserloader.h"
#include "rank/rankscan.h"
#include "store/rankdb.h"
#include "text/codepage.h"
#include "text/inifile.h"

#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kBaidu = 0;
constexpr int kSogou = 1;
constexpr int kHaosou = 2;
constexpr int kFourth = 3;

using Plan = FakeEngine::TodayPlan;
using Trouble = FakeEngine::Trouble;

class LastStatus : public StatusSink {
public:
    void SetStatusText(const Text& text) override { last = gbkToQString(text); }
    QString last;
};

// The fourth engine, added by settings alone: a list whose title links lead straight to the
// destinations.
const std::string kFourthEngine = "Added=find\r\n"
                                  "FindName=\xD5\xD2\xD5\xD2\r\n" // 找找
                                  "FindPage=/search?q={keyword}&first={first}\r\n"
                                  "FindBlocks=#b_results > li\r\n"
                                  "FindSkip=.b_ad\r\n"
                                  "FindUrlFrom=h2 > a\r\n"
                                  "FindUrlAttribute=href\r\n"
                                  "FindTitle=h2\r\n"
                                  "FindNext=a.sb_pagN\r\n";

class TodayScanTest : public testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIntValue("MT_SKIP_BROWSER_TESTS") == 1)
            GTEST_SKIP() << "MT_SKIP_BROWSER_TESTS=1: the browser tests are switched off";
        ASSERT_TRUE(m_dir.isValid());
        m_engine.setMarkup(FakeEngine::Markup::Today);
        ASSERT_TRUE(
            writeEngineSettings(m_dir.path(), m_engine.address(), true, false,
                                kFourthEngine + "FindAddress=" + m_engine.address() + "\r\n"));
        settings().writeInteger("SortQuery", "PageTimeout", 3);
    }

    void TearDown() override {
        m_browser.reset();
        // The browser profile writes its last files after the page has gone.
        for (int i = 0; i < 100 && !QDir(m_dir.path()).removeRecursively(); ++i)
            QThread::msleep(100);
    }

    IniFile settings() const { return IniFile(m_dir.filePath("Setting.ini")); }
    QString programDir() const { return m_dir.path() + QLatin1Char('/'); }
    RankDatabase database() const {
        return RankDatabase(MakeAccessConnStr(m_dir.filePath("Sort.mdb"), QString(), true));
    }

    // Runs the queries as one run, in its own event loop, and returns their outcomes.
    std::vector<RankOutcome> run(const std::vector<RankQuery>& queries) {
        if (!m_browser)
            m_browser = createBrowserPage(m_dir.filePath("browser"));
        const IniFile ini = settings();
        RankDatabase db(MakeAccessConnStr(m_dir.filePath("Sort.mdb"), QString(), true));
        bool stop = false;
        RankScan scan(*m_browser, m_status, ini, programDir(), stop,
                      [&db](const Text& s, const Text& k, int e, const QueryResult& r) {
                          return db.StoreRank(s, k, e, r.rank, r.url);
                      });
        std::vector<RankOutcome> outcomes;
        QObject::connect(&scan, &RankScan::queryFinished,
                         [&outcomes](const RankOutcome& o) { outcomes.push_back(o); });
        m_errors.clear();
        QObject::connect(&scan, &RankScan::error,
                         [this](const QString& message) { m_errors << message; });
        QEventLoop loop;
        QObject::connect(&scan, &RankScan::finished, &loop, &QEventLoop::quit);
        scan.start(queries);
        loop.exec();
        m_fileError = scan.fileError();
        return outcomes;
    }

    QueryResult query(const QString& site, const std::string& keyword, int engine) {
        const std::vector<RankOutcome> outcomes = run({{qStringToGbk(site), keyword, engine}});
        EXPECT_EQ(outcomes.size(), 1u);
        return outcomes.empty() ? QueryResult{} : outcomes.front().result;
    }

    QTemporaryDir m_dir;
    FakeEngine m_engine;
    LastStatus m_status;
    std::unique_ptr<PageLoader> m_browser;
    QStringList m_errors; // the last run's
    QString m_fileError;  // the last run's
};

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ranked:
        return "ranked";
    case Outcome::NotFound:
        return "not found";
    case Outcome::Blocked:
        return "blocked";
    case Outcome::Failed:
        return "failed";
    case Outcome::Stopped:
        return "stopped";
    }
    return "?";
}

TEST_F(TodayScanTest, RanksByDestinationAndTheCountingRule) {
    const std::string target = "https://www.target.cn/seo/page?a=1&b=2";
    const struct {
        const char* name;
        int engine;
        QString typed;
        Plan plan;
        Outcome outcome;
        int rank;
        std::string url; // the destination reported
        int pages;       // pages loaded
    } cases[] = {
        {"Baidu, first result, & in mu", kBaidu, "www.target.cn",
         Plan{.placed = {{{1, 0}, target}}}, Outcome::Ranked, 1, target, 1},
        {"Baidu, page 3, right column leads to the site on every page", kBaidu, "www.target.cn",
         Plan{.placed = {{{3, 7}, target}}, .decoySite = "www.target.cn"}, Outcome::Ranked, 28,
         target, 3},
        {"Sogou, site-cluster card on page 2", kSogou, "www.target.cn",
         Plan{.placed = {{{2, 2}, target}}}, Outcome::Ranked, 13, target, 2},
        {"Haosou, behind an ad that leads to the site", kHaosou, "www.target.cn",
         Plan{.placed = {{{1, 5}, target}}, .adUrl = "https://www.target.cn/ad"}, Outcome::Ranked,
         6, target, 1},
        {"typed without www", kBaidu, "target.cn", Plan{.placed = {{{1, 4}, target}}},
         Outcome::Ranked, 5, target, 1},
        {"typed with www, a subdomain ranks", kSogou, "www.target.cn",
         Plan{.placed = {{{1, 3}, "http://m.target.cn/"}}}, Outcome::Ranked, 4,
         "http://m.target.cn/", 1},
        {"typed in capitals with a scheme", kHaosou, "HTTPS://Target.CN",
         Plan{.placed = {{{2, 0}, target}}}, Outcome::Ranked, 11, target, 2},
        {"a typed path passes over the site's other pages", kBaidu, "target.cn/blog",
         Plan{.placed = {{{1, 1}, target}, {{2, 3}, "https://target.cn/blog/post?id=9"}}},
         Outcome::Ranked, 14, "https://target.cn/blog/post?id=9", 2},
        {"a look-alike host is another site", kSogou, "target.cn",
         Plan{.placed = {{{1, 1}, "https://www.mytarget.cn/"}, {{1, 6}, target}}}, Outcome::Ranked,
         7, target, 1},
        {"named only in another result's snippet", kBaidu, "www.target.cn",
         Plan{.snippetSite = "www.target.cn", .lastPage = 3}, Outcome::NotFound, 0, "", 3},
        {"only in an ad and the right column", kBaidu, "www.target.cn",
         Plan{.adUrl = target, .decoySite = "www.target.cn", .lastPage = 2}, Outcome::NotFound, 0,
         "", 2},
        {"last page without a next link ends the scan", kHaosou, "www.target.cn",
         Plan{.lastPage = 2}, Outcome::NotFound, 0, "", 2},
        {"a page without results after the last one ends it", kSogou, "www.target.cn",
         Plan{.lastPage = 2, .lastHasNext = true}, Outcome::NotFound, 0, "", 3},
        {"nothing matched the keyword", kBaidu, "www.target.cn",
         Plan{.trouble = {{1, Trouble::NoResults}}}, Outcome::NotFound, 0, "", 1},
        {"an engine added by settings alone", kFourth, "target.cn",
         Plan{.placed = {{{2, 4}, target}}, .adUrl = target}, Outcome::Ranked, 15, target, 2},
    };
    int keyword = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = "seo" + std::to_string(++keyword);
        m_engine.plan(key, c.plan);
        const int before = m_engine.pagesServed();
        const QueryResult r = query(c.typed, key, c.engine);
        EXPECT_STREQ(outcomeName(r.outcome), outcomeName(c.outcome)) << r.reason.toStdString();
        EXPECT_EQ(r.rank, c.rank);
        EXPECT_EQ(r.url.toStdString(), c.url);
        EXPECT_EQ(m_engine.pagesServed() - before, c.pages);
        EXPECT_EQ(r.pages, c.pages);
        EXPECT_EQ(m_status.last, QStringLiteral("完成"));
    }
    // One row each, with the destination that ranked.
    const std::vector<RankDatabase::HistoryRow> rows = database().historyRows(100);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& c = cases[std::size(cases) - 1 - i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rows[i].rank, c.rank);
        EXPECT_EQ(rows[i].url.toStdString(), c.url);
        EXPECT_EQ(rows[i].engine, c.engine);
    }
}

// With Baidu's page size at 50, a depth of 500 takes 10 pages, each asking for 50 results.
TEST_F(TodayScanTest, DepthAndPageSize) {
    IniFile ini = settings();
    ini.writeInteger("SortQuery", "PageSize", 50);
    m_engine.plan("deep", Plan{.placed = {{{2, 10}, "https://www.target.cn/"}}});
    QueryResult r = query("www.target.cn", "deep", kBaidu);
    EXPECT_EQ(r.outcome, Outcome::Ranked);
    EXPECT_EQ(r.rank, 61);
    ASSERT_EQ(m_engine.served().size(), 2u);
    EXPECT_EQ(m_engine.served()[1].size, 50);

    const int before = m_engine.pagesServed();
    r = query("www.nowhere.cn", "deep", kBaidu);
    EXPECT_EQ(r.outcome, Outcome::NotFound);
    EXPECT_EQ(m_engine.pagesServed() - before, 10);
    EXPECT_EQ(r.results, 500);

    // Other engines serve ten a page whatever is asked; a smaller depth ends sooner.
    ini.writeInteger("SortQuery", "Depth", 30);
    const int sogouBefore = m_engine.pagesServed();
    r = query("www.nowhere.cn", "deep", kSogou);
    EXPECT_EQ(r.outcome, Outcome::NotFound);
    EXPECT_EQ(m_engine.pagesServed() - sogouBefore, 3);
    EXPECT_EQ(m_engine.served().back().size, 10);
}

// A block, a failed load, a dead server and a changed layout are no results: nothing is stored
// and the rank stored earlier that day stays.
TEST_F(TodayScanTest, BlockedAndFailedAreNoResults) {
    const struct {
        const char* name;
        int engine;
        Plan plan;
        Outcome outcome;
        int pages;
        QString reason; // part of it
    } cases[] = {
        {"Baidu redirects to its captcha", kBaidu, Plan{.trouble = {{1, Trouble::Captcha302}}},
         Outcome::Blocked, 1, "/static/captcha/"},
        {"Baidu's verification page on page 2", kBaidu, Plan{.trouble = {{2, Trouble::Captcha200}}},
         Outcome::Blocked, 2, "第 2 页"},
        {"Sogou redirects to its antispider page", kSogou,
         Plan{.trouble = {{1, Trouble::Captcha302}}}, Outcome::Blocked, 1, "/antispider/"},
        {"Sogou's verification page", kSogou, Plan{.trouble = {{1, Trouble::Captcha200}}},
         Outcome::Blocked, 1, "验证页面"},
        {"Haosou's verification page", kHaosou, Plan{.trouble = {{3, Trouble::Captcha200}}},
         Outcome::Blocked, 3, "第 3 页"},
        {"HTTP 500", kBaidu, Plan{.trouble = {{2, Trouble::ServerError}}}, Outcome::Failed, 2,
         "500"},
        {"a server that never answers", kSogou, Plan{.trouble = {{1, Trouble::Silent}}},
         Outcome::Failed, 1, "3 秒内未载入完成"},
    };
    RankDatabase db = database();
    int keyword = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = "trouble" + std::to_string(++keyword);
        db.StoreRank("www.target.cn", key, c.engine, 9, QStringLiteral("https://www.target.cn/"));
        m_engine.plan(key, c.plan);
        const int before = m_engine.pagesServed();
        const QueryResult r = query("www.target.cn", key, c.engine);
        EXPECT_STREQ(outcomeName(r.outcome), outcomeName(c.outcome));
        EXPECT_EQ(r.rank, 0);
        EXPECT_TRUE(r.reason.contains(c.reason)) << r.reason.toStdString();
        EXPECT_EQ(m_engine.pagesServed() - before, c.pages);
        EXPECT_TRUE(m_status.last.contains(r.reason)) << m_status.last.toStdString();
    }
    const std::vector<RankDatabase::HistoryRow> rows = db.historyRows(100);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (const RankDatabase::HistoryRow& row : rows)
        EXPECT_EQ(row.rank, 9);
}

// Three sites asked for one keyword of one engine: each page is loaded once for all of them,
// and each rank is the one a query of its own finds. The outcomes come in query order.
TEST_F(TodayScanTest, OneScanForManySites) {
    const Plan plan{.placed = {{{3, 1}, "https://www.b.cn/"},
                               {{3, 5}, "https://a.cn/x"},
                               {{2, 8}, "https://c.cn/"}}};
    for (const int engine : {kBaidu, kHaosou}) {
        SCOPED_TRACE(engine);
        const std::string key = "many" + std::to_string(engine);
        m_engine.plan(key, plan);
        const int start = m_engine.pagesServed();
        const std::vector<RankOutcome> together =
            run({{"a.cn", key, engine}, {"www.b.cn", key, engine}, {"c.cn", key, engine}});
        const int once = m_engine.pagesServed() - start;
        EXPECT_EQ(once, 3);
        ASSERT_EQ(together.size(), 3u);
        const int alone = m_engine.pagesServed();
        const QueryResult a = query("a.cn", key, engine);
        const QueryResult b = query("www.b.cn", key, engine);
        const QueryResult c = query("c.cn", key, engine);
        EXPECT_EQ(m_engine.pagesServed() - alone, 8);
        EXPECT_EQ(together[0].site, "a.cn");
        EXPECT_EQ(together[0].result.rank, a.rank);
        EXPECT_EQ(together[1].result.rank, b.rank);
        EXPECT_EQ(together[2].result.rank, c.rank);
        EXPECT_EQ(together[0].result.rank, 26);
        EXPECT_EQ(together[1].result.rank, 22);
        EXPECT_EQ(together[2].result.rank, 19);
        EXPECT_EQ(together[2].result.url, QStringLiteral("https://c.cn/"));
    }
    // In the text-marker scan too: the fake engine's older pages, ranks as alone.
    m_engine.setMarkup(FakeEngine::Markup::Older);
    ASSERT_TRUE(writeEngineSettings(m_dir.path(), m_engine.address()));
    m_engine.place("older", {"www.x.cn", 2, 3, false});
    const int start = m_engine.pagesServed();
    const std::vector<RankOutcome> older =
        run({{"www.x.cn", "older", kSogou}, {"www.y.cn", "older", kSogou}});
    EXPECT_EQ(m_engine.pagesServed() - start, 50);
    ASSERT_EQ(older.size(), 2u);
    EXPECT_EQ(older[0].result.rank, 14);
    EXPECT_EQ(older[1].result.outcome, Outcome::NotFound);
}

// Pages of the older layout read by a recipe: no result block on page 1 means the markup has
// changed, which is a failure, not a site that is nowhere.
TEST_F(TodayScanTest, ChangedLayoutFails) {
    m_engine.setMarkup(FakeEngine::Markup::Older);
    m_engine.place("old", {"www.target.cn", 1, 0, false});
    const QueryResult r = query("www.target.cn", "old", kBaidu);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_TRUE(r.reason.contains(QStringLiteral("页面布局可能已改变"))) << r.reason.toStdString();
    EXPECT_EQ(m_engine.pagesServed(), 1);
    EXPECT_TRUE(database().historyRows(10).empty());
}

// Keywords with the characters that separate a query's parameters reach the engine as typed.
TEST_F(TodayScanTest, KeywordsReachTheEngineAsTyped) {
    const QString keywords[] = {QStringLiteral("C++ 教程"), QStringLiteral("a&b=c"),
                                QStringLiteral("?"), QStringLiteral("100%+ #1 [x] <y>")};
    for (const int engine : {kBaidu, kSogou, kHaosou, kFourth}) {
        for (const QString& keyword : keywords) {
            SCOPED_TRACE(keyword.toStdString() + " engine " + std::to_string(engine));
            m_engine.plan(keyword.toStdString(), Plan{.placed = {{{1, 3}, "https://t.cn/"}}});
            const int before = static_cast<int>(m_engine.served().size());
            const QueryResult r = query("t.cn", qStringToGbk(keyword), engine);
            EXPECT_EQ(r.outcome, Outcome::Ranked) << r.reason.toStdString();
            EXPECT_EQ(r.rank, 4);
            const std::vector<FakeEngine::Request> served = m_engine.served();
            ASSERT_EQ(served.size(), static_cast<size_t>(before) + 1);
            EXPECT_EQ(served.back().keyword, keyword.toStdString()) << served.back().target;
        }
    }
}

// A site or keyword the database cannot hold is refused before any page is loaded, with the
// database's own words; with storing off the query runs.
TEST_F(TodayScanTest, TooLongForTheDatabaseLoadsNoPage) {
    const QString chinese30 = QString(30, QChar(0x4E2D)); // 中 x 30: 60 bytes in GBK
    const struct {
        const char* name;
        QString site;
        QString keyword;
        bool sortToDb;
        QString error; // empty: the query runs and ranks
    } cases[] = {
        {"keyword of 30 Chinese characters", "t.cn", chinese30, true, {}},
        {"keyword of 31", "t.cn", chinese30 + "k", true,
         "Field SearchKey holds at most 30 characters"},
        {"spaces around a keyword of 30 are trimmed", "u.cn", "  " + chinese30 + " ", true, {}},
        {"site of 201", QString(197, 'a') + ".com", "seo", true,
         "Field Web holds at most 200 characters"},
        {"keyword of 31, storing off", "t.cn", chinese30 + "k", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings().writeBool("SortQuery", "SortToDB", c.sortToDb);
        const std::string keyword = c.keyword.trimmed().toStdString();
        m_engine.plan(keyword, Plan{.placed = {{{1, 0}, "https://" + c.site.toStdString()}}});
        const int pages = m_engine.pagesServed();
        const std::vector<RankOutcome> outcomes =
            run({{qStringToGbk(c.site), qStringToGbk(c.keyword), kBaidu}});
        if (c.error.isEmpty()) {
            EXPECT_EQ(m_errors, QStringList());
            ASSERT_EQ(outcomes.size(), 1u);
            EXPECT_EQ(outcomes[0].result.outcome, Outcome::Ranked)
                << outcomes[0].result.reason.toStdString();
            EXPECT_EQ(outcomes[0].result.stored, c.sortToDb);
            EXPECT_EQ(m_engine.pagesServed() - pages, 1);
        } else {
            EXPECT_EQ(m_errors, QStringList{c.error});
            EXPECT_TRUE(outcomes.empty());
            EXPECT_EQ(m_engine.pagesServed() - pages, 0);
        }
    }
    // The two queries that ranked with storing on, and nothing else.
    EXPECT_EQ(database().historyRows(10).size(), 2u);
}

// "temp.txt" that cannot be written: the run ranks as ever and keeps the first failure, once.
TEST_F(TodayScanTest, UnwritableTempFileIsKeptOnceAndRanksStay) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("temp.txt"));
    m_engine.plan("seo", Plan{.placed = {{{3, 1}, "https://t.cn/"}}, .lastPage = 4});
    const std::vector<RankOutcome> outcomes =
        run({{"t.cn", "seo", kBaidu}, {"www.elsewhere.cn", "seo", kSogou}});
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].result.outcome, Outcome::Ranked);
    EXPECT_EQ(outcomes[0].result.rank, 22);
    EXPECT_EQ(outcomes[1].result.outcome, Outcome::NotFound);
    // Baidu's three, Sogou's four and the empty one after them.
    EXPECT_EQ(m_engine.pagesServed(), 8);
    EXPECT_EQ(m_errors, QStringList());
    EXPECT_EQ(m_fileError, QStringLiteral("Cannot write file %1temp.txt: Is a directory; the "
                                          "ranks are not affected")
                               .arg(programDir()));
    EXPECT_EQ(database().historyRows(10).size(), 2u);

    // The next run starts without it.
    ASSERT_TRUE(QDir(m_dir.path()).rmdir("temp.txt"));
    run({{"t.cn", "seo", kBaidu}});
    EXPECT_EQ(m_fileError, QString());
}

} // namespace
