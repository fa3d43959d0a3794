// Rank queries through the real browser against fake engines that serve today's markup: the
// result recipes, matching by destination, the engine's last page, verification pages and
// failed loads as the browser sees them. The scan's state machine alone (order, depth, stop,
// sharing a scan, the database's refusals) is tested without a browser in scanmachine_test.
#include "core/statussink.h"
#include "fakeengine.h"
#include "modules/browserloader.h"
#include "outcomename.h"
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
        return RankDatabase(DatabaseAddress::file(m_dir.filePath("Sort.mdb")));
    }

    // Runs the queries as one run, in its own event loop, and returns their outcomes.
    std::vector<RankOutcome> run(const std::vector<RankQuery>& queries) {
        if (!m_browser)
            m_browser = createBrowserPage(m_dir.filePath("browser"));
        const IniFile ini = settings();
        RankDatabase db(DatabaseAddress::file(m_dir.filePath("Sort.mdb")));
        bool stop = false;
        RankScan scan(*m_browser, m_status, ini, programDir(), stop,
                      [&db](const Text& s, const Text& k, int e, const QueryResult& r) {
                          return db.StoreRank(s, k, e, r.rank, r.url);
                      });
        std::vector<RankOutcome> outcomes;
        QObject::connect(&scan, &RankScan::queryFinished,
                         [&outcomes](const RankOutcome& o) { outcomes.push_back(o); });
        QEventLoop loop;
        QObject::connect(&scan, &RankScan::finished, &loop, &QEventLoop::quit);
        scan.start(queries);
        loop.exec();
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
};

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

} // namespace
