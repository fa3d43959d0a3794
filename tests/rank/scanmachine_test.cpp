// The rank scan's state machine against a scripted loader: the order of outcomes, ranks over
// pages, stop, failures, verification pages and the database's refusals, in-process and
// without a browser.
#include "core/settingkeys.h"
#include "core/statussink.h"
#include "outcomename.h"
#include "rank/engines.h"
#include "rank/rankscan.h"
#include "scriptedloader.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/inifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

namespace {

constexpr int kBaidu = 0;
constexpr int kSogou = 1;
constexpr int kHaosou = 2;
constexpr int kAdded = 3; // the first engine the settings add

// Long enough for any answer of the scripted loader; a scan that hangs fails instead.
constexpr int kWaitMs = 5000;

// Runs the event loop until condition holds, checked between events, or until kWaitMs have
// passed; returns whether it holds. (QTest::qWaitFor sleeps between rounds, which a scan of
// fifty pages feels.)
bool runUntil(const std::function<bool()>& condition) {
    if (condition())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(0);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start();
    deadline.start(kWaitMs);
    loop.exec();
    return condition();
}

class RecordedStatus : public StatusSink {
public:
    void SetStatusText(const Text& text) override { texts << gbkToQString(text); }
    bool anyContains(const QString& part) const {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const QString& t) { return t.contains(part); });
    }
    QStringList texts;
};

struct StoredRank {
    Text site;
    Text keyword;
    int engine = 0;
    Outcome outcome = Outcome::NotFound;
    int rank = 0;
};

// Where a destination stands: page (from 1) and place on it (from 0).
struct Spot {
    int page;
    int index;
    auto operator<=>(const Spot&) const = default;
};

// One keyword's result pages on one engine, as the recipe's script reads them.
struct Pages {
    std::map<Spot, QString> placed{};      // the rest are fillers of other sites
    int last = 50;                         // its pager shows no next link
    bool lastHasNext = false;              // it does, and the page after it holds no result
    std::map<int, ScriptedPage> special{}; // pages served as given instead
};

// A scan with everything around it: settings in a temporary folder, the scripted loader, the
// status line and a store that records.
class Rig {
public:
    // engines: lines of the section "Engines".
    explicit Rig(const std::string& engines = {})
        : m_settings(m_dir.filePath(QStringLiteral("Setting.ini"))),
          scan(loader, status, m_settings, programDir(), stopFlag,
               [this](const Text& site, const Text& keyword, int engine, const QueryResult& r) {
                   return store(site, keyword, engine, r);
               }) {
        EXPECT_TRUE(m_dir.isValid());
        std::string ini = "[SortQuery]\r\nQuerySleep=0\r\n";
        if (!engines.empty())
            ini += "[Engines]\r\n" + engines;
        QFile file(m_settings.path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ini.data(), static_cast<qint64>(ini.size()));
        file.close();
        QObject::connect(&scan, &RankScan::queryFinished, &scan, [this](const RankOutcome& o) {
            outcomes.push_back(o);
            events << QStringLiteral("outcome ") + gbkToQString(o.site);
        });
        QObject::connect(&scan, &RankScan::error, &scan, [this](const QString& message) {
            errors << message;
            events << QStringLiteral("error ") + message;
        });
        QObject::connect(&scan, &RankScan::finished, &scan, [this](bool stopped) {
            events << QStringLiteral("finished %1").arg(stopped);
            ++finishedCount;
        });
        QObject::connect(&scan, &RankScan::verificationNeeded, &scan, [this](const QString& name) {
            events << QStringLiteral("verification ") + name;
            ++verifications;
        });
        QObject::connect(&scan, &RankScan::verificationSkipped, &scan,
                         [this] { events << QStringLiteral("skipped"); });
        QObject::connect(&scan, &RankScan::verificationPassed, &scan, [this] {
            events << QStringLiteral("passed");
            ++passed;
        });
        QObject::connect(
            &scan, &RankScan::progress, &scan, [this](int query, int queries, int page) {
                progress << QStringLiteral("%1/%2:%3").arg(query).arg(queries).arg(page);
            });
    }

    IniFile& settings() { return m_settings; }
    QString programDir() const { return m_dir.path() + QLatin1Char('/'); }

    Text address(const Text& keyword, int engine, int page, int pageSize = 10) const {
        return BuildResultPageUrl(keyword, engine, page, loadEngineProfiles(m_settings), pageSize);
    }
    // The addresses of pages 1 to pages, in order.
    std::vector<Text> addresses(const Text& keyword, int engine, int pages,
                                int pageSize = 10) const {
        const EngineProfiles profiles = loadEngineProfiles(m_settings);
        std::vector<Text> out;
        for (int p = 1; p <= pages; ++p)
            out.push_back(BuildResultPageUrl(keyword, engine, p, profiles, pageSize));
        return out;
    }

    // A keyword's page as the recipe's script reads it, for the page size wished (the engine's
    // own limit applies).
    ScriptedPage resultPage(int engine, const Pages& pages, int page, int wished = 10) const {
        return resultPage(loadEngineProfiles(m_settings), engine, pages, page, wished);
    }
    // Serves a keyword's pages, to the last and the empty one after it when there is one.
    void servePages(const Text& keyword, int engine, const Pages& pages, int wished = 10) {
        const EngineProfiles profiles = loadEngineProfiles(m_settings);
        for (int p = 1; p <= pages.last + (pages.lastHasNext ? 1 : 0); ++p)
            loader.serve(BuildResultPageUrl(keyword, engine, p, profiles, wished),
                         {resultPage(profiles, engine, pages, p, wished)});
    }

    void start(std::vector<RankQuery> queries) {
        outcomes.clear();
        errors.clear();
        events.clear();
        progress.clear();
        finishedCount = 0;
        scan.start(std::move(queries));
    }
    bool waitFor(const std::function<bool()>& condition) { return runUntil(condition); }
    bool waitFinished() {
        return waitFor([this] { return finishedCount > 0; });
    }
    std::vector<RankOutcome> run(std::vector<RankQuery> queries) {
        start(std::move(queries));
        EXPECT_TRUE(waitFinished()) << "the run did not end";
        return outcomes;
    }
    QueryResult query(const Text& site, const Text& keyword, int engine) {
        const std::vector<RankOutcome> out = run({{site, keyword, engine}});
        EXPECT_EQ(out.size(), 1u);
        return out.empty() ? QueryResult{} : out.front().result;
    }

    // Lets every answer under way arrive.
    void settle() {
        EXPECT_TRUE(runUntil([this] { return loader.pending() == 0; }));
    }

    // What the store gives back as the earlier day's rank; the call (from 1) that throws.
    std::optional<int> previous;
    int throwAt = 0;
    QString throwMessage;

private:
    static ScriptedPage resultPage(const EngineProfiles& profiles, int engine, const Pages& pages,
                                   int page, int wished) {
        if (auto special = pages.special.find(page); special != pages.special.end())
            return special->second;
        if (page > pages.last)
            return ScriptedPage::results({.pager = false, .next = false});
        const int size = effectivePageSize(profiles[static_cast<size_t>(engine)], wished);
        RecipeAnswer answer{.next = page < pages.last || pages.lastHasNext};
        for (int i = 0; i < size; ++i) {
            const auto at = pages.placed.find({page, i});
            answer.results.push_back(
                {at != pages.placed.end()
                     ? at->second
                     : QStringLiteral("https://r%1x%2.example.org/").arg(page).arg(i),
                 QStringLiteral("result %1").arg(i)});
        }
        return ScriptedPage::results(answer);
    }

    std::optional<int> store(const Text& site, const Text& keyword, int engine,
                             const QueryResult& r) {
        if (static_cast<int>(stored.size()) + 1 == throwAt)
            throw AppError(throwMessage);
        if (duringStore)
            duringStore();
        stored.push_back({site, keyword, engine, r.outcome, r.rank});
        return previous;
    }

    // Each page read is kept in "temp.txt", replaced durably: in memory when the system offers a
    // folder there, so a scan of fifty pages does not wait for fifty flushes to disk.
    QTemporaryDir m_dir{QDir(QStringLiteral("/dev/shm")).exists()
                            ? QStringLiteral("/dev/shm/scanmachine-XXXXXX")
                            : QDir::tempPath() + QStringLiteral("/scanmachine-XXXXXX")};
    IniFile m_settings;

public:
    ScriptedLoader loader;
    RecordedStatus status;
    bool stopFlag = false;
    std::vector<StoredRank> stored;
    std::vector<RankOutcome> outcomes; // the last run's, and so on
    QStringList errors;
    QStringList events;
    QStringList progress;
    int finishedCount = 0;
    // What happens while a store waits for the database, which lets events in.
    std::function<void()> duringStore;
    int verifications = 0;
    int passed = 0;
    RankScan scan;
};

// The fake keeps the loader's contract, which the scan relies on: answers come later, from the
// event loop; a new load or wait replaces the one under way; cancel() drops what is to come.
TEST(ScriptedLoader, KeepsTheLoadersContract) {
    ScriptedLoader loader;
    ScriptedPage first = ScriptedPage::markup("<p>one</p>");
    first.loaded.title = "one";
    loader.serve("https://a.test/1", {first, ScriptedPage::timedOut("late")});
    QStringList told;
    auto record = [&](const QString& what) {
        return [&told, what](const LoadedPage& p) {
            told << what + QLatin1Char(' ') + p.url + QLatin1Char(' ') + p.title;
        };
    };

    loader.loadPage("https://a.test/1", std::chrono::seconds(3), record("replaced"));
    loader.loadPage("https://a.test/1", std::chrono::seconds(4), record("load"));
    EXPECT_EQ(told, QStringList()) << "answered inside the call";
    EXPECT_TRUE(runUntil([&] { return loader.pending() == 0; }));
    // The first load of the address was replaced; the second gets the page that stays.
    EXPECT_EQ(told, QStringList{"load https://a.test/1 "});
    EXPECT_EQ(loader.loads(), (std::vector<Text>{"https://a.test/1", "https://a.test/1"}));
    EXPECT_EQ(loader.limits().back(), std::chrono::seconds(4));

    // The page loaded last is read; a cancel drops the answers still to come.
    loader.loadPage("https://a.test/2", std::chrono::seconds(1), record("unscripted"));
    Text html = "unread";
    loader.GetBrowserHtml({}, [&](const Text& h) { html = h; });
    loader.cancel();
    EXPECT_TRUE(runUntil([&] { return loader.pending() == 0; }));
    EXPECT_EQ(html, "unread");
    EXPECT_EQ(told.size(), 1);

    loader.serve("https://a.test/3", {first});
    loader.loadPage("https://a.test/3", std::chrono::seconds(1), record("load"));
    loader.GetBrowserHtml({}, [&](const Text& h) { html = h; });
    EXPECT_TRUE(runUntil([&] { return loader.pending() == 0; }));
    EXPECT_EQ(html, "<p>one</p>");

    // A wait for navigation is answered by a person's navigation only, and a load replaces it.
    loader.waitForNavigation(record("dropped"));
    loader.loadPage("https://a.test/4", std::chrono::seconds(1), record("failed"));
    EXPECT_FALSE(loader.waitingForNavigation());
    loader.waitForNavigation(record("navigated"));
    EXPECT_TRUE(runUntil([&] { return loader.pending() == 0; }));
    EXPECT_TRUE(loader.waitingForNavigation());
    ScriptedPage person = ScriptedPage::results({});
    person.loaded.url = "https://a.test/passed";
    loader.navigate(person);
    EXPECT_TRUE(loader.waitingForNavigation());
    EXPECT_TRUE(runUntil([&] { return !loader.waitingForNavigation(); }));
    EXPECT_EQ(told, (QStringList{"load https://a.test/1 ", "load https://a.test/3 one",
                                 "navigated https://a.test/passed "}));
}

// Several queries over different keywords and engines: outcomes in query order even when a
// later query shares an earlier one's scan, then finished; each page loaded once.
TEST(ScanMachine, OutcomesComeInQueryOrder) {
    Rig rig;
    rig.servePages("seo", kBaidu,
                   {.placed = {{{1, 2}, "https://a.cn/"}, {{2, 0}, "https://d.cn/x"}}});
    rig.servePages("seo", kSogou, {.placed = {{{1, 0}, "https://www.b.cn/"}}});
    rig.servePages("other", kBaidu, {.last = 1});
    rig.previous = 7;
    const std::vector<RankOutcome> outcomes = rig.run({{" a.cn ", "seo", kBaidu},
                                                       {"b.cn", "seo", kSogou},
                                                       {"c.cn", "other", kBaidu},
                                                       {"d.cn", " seo", kBaidu}});
    EXPECT_EQ(rig.events, (QStringList{"outcome a.cn", "outcome b.cn", "outcome c.cn",
                                       "outcome d.cn", "finished 0"}));
    const struct {
        Text site;
        Text keyword;
        int engine;
        Outcome outcome;
        int rank;
        QString url;
        int pages;
    } expected[] = {
        {"a.cn", "seo", kBaidu, Outcome::Ranked, 3, "https://a.cn/", 2},
        {"b.cn", "seo", kSogou, Outcome::Ranked, 1, "https://www.b.cn/", 1},
        {"c.cn", "other", kBaidu, Outcome::NotFound, 0, {}, 1},
        {"d.cn", "seo", kBaidu, Outcome::Ranked, 11, "https://d.cn/x", 2},
    };
    ASSERT_EQ(outcomes.size(), std::size(expected));
    for (size_t i = 0; i < outcomes.size(); ++i) {
        SCOPED_TRACE(expected[i].site);
        const RankOutcome& o = outcomes[i];
        EXPECT_EQ(o.site, expected[i].site);
        EXPECT_EQ(o.keyword, expected[i].keyword);
        EXPECT_EQ(o.engine, expected[i].engine);
        EXPECT_STREQ(outcomeName(o.result.outcome), outcomeName(expected[i].outcome));
        EXPECT_EQ(o.result.rank, expected[i].rank);
        EXPECT_EQ(o.result.url, expected[i].url);
        EXPECT_EQ(o.result.pages, expected[i].pages);
        EXPECT_TRUE(o.result.stored);
        EXPECT_EQ(o.result.previous, std::optional<int>(7));
    }
    // The shared scan's two pages once, then the other scans in query order.
    std::vector<Text> loads = rig.addresses("seo", kBaidu, 2);
    loads.push_back(rig.address("seo", kSogou, 1));
    loads.push_back(rig.address("other", kBaidu, 1));
    EXPECT_EQ(rig.loader.loads(), loads);
    EXPECT_EQ(rig.progress, (QStringList{"1/4:1", "1/4:2", "2/4:1", "3/4:1"}));
    // Stored scan by scan.
    ASSERT_EQ(rig.stored.size(), 4u);
    EXPECT_EQ(rig.stored[0].site, "a.cn");
    EXPECT_EQ(rig.stored[1].site, "d.cn");
    EXPECT_EQ(rig.stored[2].site, "b.cn");
    EXPECT_EQ(rig.stored[3].site, "c.cn");
    EXPECT_EQ(rig.stored[3].outcome, Outcome::NotFound);
    EXPECT_EQ(rig.status.texts.back(), QStringLiteral("完成"));
    EXPECT_EQ(rig.loader.pending(), 0);
}

// Three sites asked for one keyword of one engine: each page is loaded once for all of them,
// and each rank is the one a query of its own finds. The outcomes come in query order.
TEST(ScanMachine, OneScanForManySites) {
    const Pages pages{.placed = {{{3, 1}, "https://www.b.cn/"},
                                 {{3, 5}, "https://a.cn/x"},
                                 {{2, 8}, "https://c.cn/"}}};
    for (const int engine : {kBaidu, kHaosou}) {
        SCOPED_TRACE(engine);
        Rig rig;
        rig.servePages("many", engine, pages);
        const std::vector<RankOutcome> together = rig.run(
            {{"a.cn", "many", engine}, {"www.b.cn", "many", engine}, {"c.cn", "many", engine}});
        EXPECT_EQ(rig.loader.loads(), rig.addresses("many", engine, 3));
        ASSERT_EQ(together.size(), 3u);
        const QueryResult a = rig.query("a.cn", "many", engine);
        const QueryResult b = rig.query("www.b.cn", "many", engine);
        const QueryResult c = rig.query("c.cn", "many", engine);
        EXPECT_EQ(rig.loader.loads().size(), 3u + 8u);
        EXPECT_EQ(together[0].site, "a.cn");
        EXPECT_EQ(together[0].result.rank, a.rank);
        EXPECT_EQ(together[1].result.rank, b.rank);
        EXPECT_EQ(together[2].result.rank, c.rank);
        EXPECT_EQ(together[0].result.rank, 26);
        EXPECT_EQ(together[1].result.rank, 22);
        EXPECT_EQ(together[2].result.rank, 19);
        EXPECT_EQ(together[2].result.url, QStringLiteral("https://c.cn/"));
        EXPECT_EQ(rig.stored.size(), 6u);
    }
}

// Ranks counted across pages with the page size, the depth, the engine's last page and pages
// without results.
TEST(ScanMachine, RanksAcrossPages) {
    const QString target = QStringLiteral("https://www.target.cn/seo");
    const struct {
        const char* name;
        int engine;
        int depth;    // 0: as by default (500)
        int pageSize; // wished; 0: as by default (10)
        Pages pages;
        Outcome outcome;
        int rank;
        QString url;
        int pages_; // pages loaded, each once and in order
        int results;
        QString reason; // part of it
    } cases[] = {
        {"first page, third result",
         kBaidu,
         0,
         0,
         {.placed = {{{1, 2}, target}}},
         Outcome::Ranked,
         3,
         target,
         1,
         3,
         {}},
        {"page 3, eighth result",
         kSogou,
         0,
         0,
         {.placed = {{{3, 7}, target}}},
         Outcome::Ranked,
         28,
         target,
         3,
         28,
         {}},
        {"fifty a page: page 2, eleventh",
         kBaidu,
         0,
         50,
         {.placed = {{{2, 10}, target}}},
         Outcome::Ranked,
         61,
         target,
         2,
         61,
         {}},
        {"depth 500 at fifty a page takes ten pages",
         kBaidu,
         0,
         50,
         {},
         Outcome::NotFound,
         0,
         {},
         10,
         500,
         {}},
        {"an engine that serves ten a page whatever is asked",
         kSogou,
         30,
         50,
         {},
         Outcome::NotFound,
         0,
         {},
         3,
         30,
         {}},
        {"beyond the depth",
         kHaosou,
         30,
         0,
         {.placed = {{{4, 0}, target}}},
         Outcome::NotFound,
         0,
         {},
         3,
         30,
         {}},
        {"the pager without a next link ends the scan",
         kHaosou,
         0,
         0,
         {.last = 2},
         Outcome::NotFound,
         0,
         {},
         2,
         20,
         {}},
        {"a page without results after the last one ends it",
         kSogou,
         0,
         0,
         {.last = 2, .lastHasNext = true},
         Outcome::NotFound,
         0,
         {},
         3,
         20,
         {}},
        {"a first page that says nothing matched",
         kBaidu,
         0,
         0,
         {.last = 1,
          .special = {{1, ScriptedPage::results({.pager = false,
                                                 .next = false,
                                                 .text = "很抱歉，没有找到与“seo”相关的网页"})}}},
         Outcome::NotFound,
         0,
         {},
         1,
         0,
         {}},
        {"a first page without result blocks",
         kBaidu,
         0,
         0,
         {.last = 1, .special = {{1, ScriptedPage::results({.text = "seo"})}}},
         Outcome::Failed,
         0,
         {},
         1,
         0,
         "第 1 页没有结果块，页面布局可能已改变"},
        {"a first page whose blocks lead nowhere",
         kSogou,
         0,
         0,
         {.last = 1,
          .special = {{1, ScriptedPage::results(
                              {.results = {{"javascript:void(0)", "x"}}, .blocks = 4})}}},
         Outcome::Failed,
         0,
         {},
         1,
         0,
         "第 1 页的 4 个结果块都没有目的网址"},
        {"the engine's own pseudo destinations are not counted",
         kBaidu,
         0,
         0,
         {.special = {{1, ScriptedPage::results({.results = {{"http://nourl.ubs.baidu.com/1", "ad"},
                                                             {"https://r.example.org/", "one"},
                                                             {target, "two"}}})}}},
         Outcome::Ranked,
         2,
         target,
         1,
         2,
         {}},
        {"a script that cannot run",
         kHaosou,
         0,
         0,
         {.special = {{1, ScriptedPage::results({.error = "bad selector"})}}},
         Outcome::Failed,
         0,
         {},
         1,
         0,
         "第 1 页无法按结果配方读取: bad selector"},
        {"a script without an answer",
         kHaosou,
         0,
         0,
         {.special = {{1, ScriptedPage::markup("<html></html>")}}},
         Outcome::Failed,
         0,
         {},
         1,
         0,
         "the page gave no answer"},
        {"an engine added by settings: no next link is the last page",
         kAdded,
         0,
         0,
         {.placed = {{{2, 4}, target}}, .last = 3},
         Outcome::Ranked,
         15,
         target,
         2,
         15,
         {}},
        {"an engine added by settings: its last page",
         kAdded,
         0,
         0,
         {.last = 3},
         Outcome::NotFound,
         0,
         {},
         3,
         30,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig("Added=find\r\nFindAddress=https://find.example\r\n"
                "FindPage=/search?q={keyword}&first={first}\r\nFindBlocks=li\r\n"
                "FindUrlAttribute=href\r\nFindNext=a.next\r\n");
        if (c.depth)
            Settings::Depth.write(rig.settings(), c.depth);
        const int size = c.pageSize ? c.pageSize : 10;
        if (c.pageSize)
            Settings::PageSize.write(rig.settings(), c.pageSize);
        rig.servePages("seo", c.engine, c.pages, size);
        const QueryResult r = rig.query("www.target.cn", "seo", c.engine);
        EXPECT_STREQ(outcomeName(r.outcome), outcomeName(c.outcome)) << r.reason.toStdString();
        EXPECT_EQ(r.rank, c.rank);
        EXPECT_EQ(r.url, c.url);
        EXPECT_EQ(r.pages, c.pages_);
        EXPECT_EQ(r.results, c.results);
        EXPECT_EQ(rig.loader.loads(), rig.addresses("seo", c.engine, c.pages_, size));
        const bool result = c.outcome == Outcome::Ranked || c.outcome == Outcome::NotFound;
        EXPECT_EQ(r.stored, result);
        EXPECT_EQ(rig.stored.size(), result ? 1u : 0u);
        if (c.reason.isEmpty()) {
            EXPECT_EQ(r.reason, QString());
            EXPECT_EQ(rig.status.texts.back(), QStringLiteral("完成"));
        } else {
            EXPECT_TRUE(r.reason.contains(c.reason)) << r.reason.toStdString();
            EXPECT_TRUE(rig.status.texts.back().contains(r.reason));
        }
    }
    // The page size goes into the address: fifty a page asks Baidu for fifty; an engine that
    // serves ten is asked as for ten.
    Rig rig;
    EXPECT_NE(rig.address("seo", kBaidu, 2, 50).find("rn=50"), Text::npos);
    EXPECT_EQ(rig.address("seo", kSogou, 2, 50), rig.address("seo", kSogou, 2, 10));
}

enum class StopAt { Pause, Load, Verification };
// stop(), the window's closing (the flag), or abort() as a signal to the program does.
enum class StopBy { Stop, Flag, Abort };

// A run ended by stop(), the window's closing or abort(): the scan under way is stopped and
// nothing of it is stored; the query before keeps its result; the queries after get no outcome.
// A stop waits for the page under way; an abort leaves it.
TEST(ScanMachine, StopEndsTheRun) {
    const struct {
        const char* name;
        StopAt at;
        StopBy by;
        int loads;
        int pages; // of the stopped scan
    } cases[] = {
        {"stop during a pause", StopAt::Pause, StopBy::Stop, 2, 1},
        {"stop during the load of page 3", StopAt::Load, StopBy::Stop, 4, 3},
        {"the window closes during the load of page 3", StopAt::Load, StopBy::Flag, 4, 3},
        {"stop while waiting for a verification", StopAt::Verification, StopBy::Stop, 3, 2},
        {"the window closes while waiting for a verification", StopAt::Verification, StopBy::Flag,
         3, 2},
        {"abort during a pause", StopAt::Pause, StopBy::Abort, 2, 1},
        {"abort during the load of page 3", StopAt::Load, StopBy::Abort, 4, 2},
        {"abort while waiting for a verification", StopAt::Verification, StopBy::Abort, 3, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.servePages("done", kBaidu, {.placed = {{{1, 0}, "https://a.cn/"}}});
        Pages halt;
        if (c.at == StopAt::Verification)
            halt.special = {{2, ScriptedPage::results({.blocked = true})}};
        rig.servePages("halt", kBaidu, halt);
        rig.servePages("later", kSogou, {.placed = {{{1, 0}, "https://c.cn/"}}});
        rig.scan.setSolveBlocks(c.at == StopAt::Verification);
        if (c.at == StopAt::Pause)
            Settings::QuerySleep.write(rig.settings(), 60000);
        if (c.at == StopAt::Load)
            rig.loader.holdLoads(true);
        rig.start({{"a.cn", "done", kBaidu}, {"b.cn", "halt", kBaidu}, {"c.cn", "later", kSogou}});
        auto stop = [&] {
            if (c.by == StopBy::Flag)
                rig.stopFlag = true;
            else if (c.by == StopBy::Stop)
                rig.scan.stop();
            else
                rig.scan.abort();
        };
        switch (c.at) {
        case StopAt::Pause:
            // The first page of the second query has been read: its pause has begun.
            ASSERT_TRUE(rig.waitFor([&] { return rig.loader.scriptAnswers() == 2; }));
            stop();
            break;
        case StopAt::Load:
            for (size_t load = 1; load < 4; ++load) {
                ASSERT_TRUE(rig.waitFor([&] { return rig.loader.loads().size() == load; }));
                ASSERT_TRUE(rig.loader.loadHeld());
                rig.loader.release();
            }
            ASSERT_TRUE(rig.waitFor([&] { return rig.loader.loadHeld(); }));
            stop();
            if (c.by == StopBy::Abort) {
                EXPECT_EQ(rig.finishedCount, 1) << "the page under way is left";
                EXPECT_FALSE(rig.loader.loadHeld());
            } else {
                EXPECT_EQ(rig.finishedCount, 0) << "the page under way ends first";
                rig.loader.release();
            }
            break;
        case StopAt::Verification:
            ASSERT_TRUE(rig.waitFor([&] { return rig.verifications == 1; }));
            stop();
            if (c.by == StopBy::Flag) {
                // The flag is read when the person does something in the page.
                rig.settle();
                EXPECT_EQ(rig.finishedCount, 0);
                rig.loader.navigate(ScriptedPage::results({}));
            }
            break;
        }
        ASSERT_TRUE(rig.waitFinished());
        EXPECT_EQ(rig.events.back(), QStringLiteral("finished 1"));
        EXPECT_EQ(rig.finishedCount, 1);
        ASSERT_EQ(rig.outcomes.size(), 2u);
        EXPECT_EQ(rig.outcomes[0].result.outcome, Outcome::Ranked);
        EXPECT_TRUE(rig.outcomes[0].result.stored);
        EXPECT_STREQ(outcomeName(rig.outcomes[1].result.outcome), outcomeName(Outcome::Stopped));
        EXPECT_FALSE(rig.outcomes[1].result.stored);
        EXPECT_EQ(rig.outcomes[1].result.pages, c.pages);
        ASSERT_EQ(rig.stored.size(), 1u);
        EXPECT_EQ(rig.stored[0].site, "a.cn");
        EXPECT_EQ(rig.loader.loads().size(), static_cast<size_t>(c.loads));
        EXPECT_EQ(rig.passed, 0);
        // Nothing of the run is left to answer, and the flag is ready for the next run.
        EXPECT_EQ(rig.loader.pending(), 0);
        EXPECT_FALSE(rig.loader.waitingForNavigation());
        EXPECT_FALSE(rig.stopFlag);
        // The run is over: a stop now changes nothing.
        rig.scan.stop();
        QCoreApplication::processEvents();
        EXPECT_EQ(rig.finishedCount, 1);
    }
}

// A signal that comes while a store waits for the database ends the run once the store is
// over: the result stands, the queries after get no outcome.
TEST(ScanMachine, AnAbortWhileAStoreWaitsEndsTheRunAfterIt) {
    Rig rig;
    rig.servePages("done", kBaidu, {.placed = {{{1, 0}, "https://a.cn/"}}});
    rig.servePages("later", kSogou, {.placed = {{{1, 0}, "https://c.cn/"}}});
    rig.duringStore = [&rig] { rig.scan.abort(); };
    rig.start({{"a.cn", "done", kBaidu}, {"c.cn", "later", kSogou}});
    ASSERT_TRUE(rig.waitFinished());
    EXPECT_EQ(rig.events, (QStringList{"outcome a.cn", "finished 1"}));
    ASSERT_EQ(rig.stored.size(), 1u);
    EXPECT_TRUE(rig.outcomes[0].result.stored);
    EXPECT_EQ(rig.loader.loads().size(), 1u);
    EXPECT_EQ(rig.loader.pending(), 0);
}

// A person away from the screen does not hold a batch at a verification page: "跳过", or the
// wait the settings allow, ends that query as blocked and the run goes on with the next.
TEST(ScanMachine, ASkippedVerificationEndsItsQueryAsBlocked) {
    const struct {
        const char* name;
        int limit; // seconds; 0: the person skips
        QString reason;
    } cases[] = {
        {"跳过", 0, QStringLiteral("验证页面已跳过")},
        {"the wait the settings allow", 1, QStringLiteral("等了 1 秒仍未完成验证，已跳过")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.servePages("done", kBaidu, {.placed = {{{1, 0}, "https://a.cn/"}}});
        Pages halt;
        halt.special = {{2, ScriptedPage::results({.blocked = true})}};
        rig.servePages("halt", kBaidu, halt);
        rig.servePages("later", kSogou, {.placed = {{{1, 0}, "https://c.cn/"}}});
        rig.scan.setSolveBlocks(true);
        Settings::VerificationWait.write(rig.settings(), c.limit);
        rig.start({{"a.cn", "done", kBaidu}, {"b.cn", "halt", kBaidu}, {"c.cn", "later", kSogou}});
        ASSERT_TRUE(rig.waitFor([&] { return rig.verifications == 1; }));
        if (c.limit == 0) {
            rig.settle();
            EXPECT_EQ(rig.finishedCount, 0) << "no wait ends by itself";
            rig.scan.skipVerification(c.reason);
        }
        ASSERT_TRUE(rig.waitFinished());
        EXPECT_EQ(rig.events.back(), QStringLiteral("finished 0"));
        EXPECT_TRUE(rig.events.contains(QStringLiteral("skipped")));
        ASSERT_EQ(rig.outcomes.size(), 3u);
        EXPECT_STREQ(outcomeName(rig.outcomes[1].result.outcome), outcomeName(Outcome::Blocked));
        EXPECT_EQ(rig.outcomes[1].result.reason, c.reason);
        EXPECT_FALSE(rig.outcomes[1].result.stored);
        EXPECT_EQ(rig.outcomes[2].result.outcome, Outcome::Ranked);
        ASSERT_EQ(rig.stored.size(), 2u);
        EXPECT_EQ(rig.stored[1].site, "c.cn");
        EXPECT_EQ(rig.passed, 0);
        EXPECT_FALSE(rig.loader.waitingForNavigation());
    }
}

// A page that failed to load, timed out or was a verification page (with blocks not solved):
// the query ends with the reason naming the page, nothing is stored, the run goes on.
TEST(ScanMachine, FailedAndBlockedPagesEndTheQuery) {
    ScriptedPage captchaAddress = ScriptedPage::results({});
    captchaAddress.loaded.url = "https://www.baidu.com/static/captcha/tuxing.html?ak=1";
    ScriptedPage titleWithStatus = ScriptedPage::failed("HTTP 状态 403", 403);
    titleWithStatus.loaded.title = "百度安全验证";
    const struct {
        const char* name;
        int engine;
        int page;
        ScriptedPage served;
        Outcome outcome;
        QString reason; // part of it
    } cases[] = {
        {"a time-out on page 2", kBaidu, 2, ScriptedPage::timedOut("3 秒内未载入完成"),
         Outcome::Failed, "第 2 页: 3 秒内未载入完成"},
        {"HTTP 500 on page 1", kSogou, 1, ScriptedPage::failed("HTTP 状态 500", 500),
         Outcome::Failed, "第 1 页: HTTP 状态 500"},
        {"a refused connection on page 3", kHaosou, 3,
         ScriptedPage::failed("页面未能载入: connection refused"), Outcome::Failed,
         "第 3 页: 页面未能载入: connection refused"},
        {"redirected to Baidu's captcha", kBaidu, 1, captchaAddress, Outcome::Blocked,
         "第 1 页是验证页面 (https://www.baidu.com/static/captcha/"},
        {"a verification title with an error status is a block", kBaidu, 2, titleWithStatus,
         Outcome::Blocked, "第 2 页是验证页面"},
        {"Sogou's verification element on page 2", kSogou, 2,
         ScriptedPage::results({.blocked = true}), Outcome::Blocked, "第 2 页是验证页面"},
        {"Haosou's verification text on page 3", kHaosou, 3,
         ScriptedPage::results({.text = "为什么会出现验证码"}), Outcome::Blocked,
         "第 3 页是验证页面"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        Settings::PageTimeout.write(rig.settings(), 3);
        rig.servePages("trouble", c.engine, {.special = {{c.page, c.served}}});
        rig.servePages("next", kBaidu, {.placed = {{{1, 0}, "https://www.target.cn/"}}});
        const std::vector<RankOutcome> outcomes =
            rig.run({{"www.target.cn", "trouble", c.engine}, {"www.target.cn", "next", kBaidu}});
        ASSERT_EQ(outcomes.size(), 2u);
        const QueryResult& r = outcomes[0].result;
        EXPECT_STREQ(outcomeName(r.outcome), outcomeName(c.outcome));
        EXPECT_EQ(r.rank, 0);
        EXPECT_TRUE(r.reason.contains(c.reason)) << r.reason.toStdString();
        EXPECT_EQ(r.pages, c.page);
        EXPECT_FALSE(r.stored);
        EXPECT_TRUE(rig.status.anyContains(r.reason));
        // The next query ran and is the only one stored.
        EXPECT_EQ(outcomes[1].result.outcome, Outcome::Ranked);
        ASSERT_EQ(rig.stored.size(), 1u);
        EXPECT_EQ(rig.stored[0].keyword, "next");
        std::vector<Text> loads = rig.addresses("trouble", c.engine, c.page);
        loads.push_back(rig.address("next", kBaidu, 1));
        EXPECT_EQ(rig.loader.loads(), loads);
        for (const auto limit : rig.loader.limits())
            EXPECT_EQ(limit, std::chrono::seconds(3));
        EXPECT_EQ(rig.events.back(), QStringLiteral("finished 0"));
        EXPECT_EQ(rig.verifications, 0);
    }
}

// With blocks solved in a view of the page, the scan waits, loading nothing, until a person's
// navigation leaves the verification page; then the result page is loaded again.
TEST(ScanMachine, VerificationWaitsForThePerson) {
    ScriptedPage captchaAddress = ScriptedPage::results({});
    captchaAddress.loaded.url = "https://www.baidu.com/static/captcha/tuxing.html";
    ScriptedPage captchaTitle = ScriptedPage::results({});
    captchaTitle.loaded.title = "百度安全验证";
    ScriptedPage antispider = ScriptedPage::markup("<html><form></form></html>");
    antispider.loaded.url = "https://www.sogou.com/antispider/?from=web";
    const ScriptedPage element = ScriptedPage::results({.blocked = true});
    const ScriptedPage passedPage = ScriptedPage::results({.results = {{"https://x.cn/", "x"}}});
    const ScriptedPage markupPage = ScriptedPage::markup("<html><body>ok</body></html>");
    const std::string sogouMarkers = "SogouMode=markers\r\n";
    const QString target = QStringLiteral("https://www.target.cn/");
    const struct {
        const char* name;
        int engine;
        std::string engines;
        ScriptedPage block;                     // served first for page 2
        std::vector<ScriptedPage> stillBlocked; // navigations that keep the scan waiting
        ScriptedPage passing;                   // the navigation that leaves it
        QString engineName;
    } cases[] = {
        {"Baidu's captcha address, passed at once",
         kBaidu,
         {},
         captchaAddress,
         {},
         passedPage,
         "百度"},
        {"Baidu's title; the next navigation is to the captcha again",
         kBaidu,
         {},
         captchaTitle,
         {captchaAddress},
         passedPage,
         "百度"},
        {"Sogou's element, twice", kSogou, {}, element, {element, element}, passedPage, "搜狗"},
        {"by its address on an engine read by markers",
         kSogou,
         sogouMarkers,
         antispider,
         {antispider},
         markupPage,
         "搜狗"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.engines);
        rig.scan.setSolveBlocks(true);
        const bool markers = !c.engines.empty();
        if (markers) {
            rig.loader.serve(rig.address("seo", c.engine, 1), {ScriptedPage::markup("<p>")});
            rig.loader.serve(rig.address("seo", c.engine, 2),
                             {c.block, ScriptedPage::markup("<div class=\"results\"><cite>"
                                                            "www.target.cn</cite></div>")});
        } else {
            const Pages pages{.placed = {{{2, 3}, target}}};
            rig.servePages("seo", c.engine, pages);
            // Page 2 as the engine serves it once the block is passed.
            rig.loader.serve(rig.address("seo", c.engine, 2),
                             {c.block, rig.resultPage(c.engine, pages, 2)});
        }
        rig.start({{"www.target.cn", "seo", c.engine}});
        ASSERT_TRUE(rig.waitFor([&] { return rig.verifications == 1; }));
        EXPECT_EQ(rig.events.front(), QStringLiteral("verification ") + c.engineName);
        rig.settle();
        EXPECT_TRUE(rig.loader.waitingForNavigation());
        EXPECT_EQ(rig.loader.loads().size(), 2u);
        EXPECT_TRUE(rig.status.texts.back().contains(QStringLiteral("请在下方完成验证")));
        for (const ScriptedPage& still : c.stillBlocked) {
            rig.loader.navigate(still);
            ASSERT_TRUE(rig.waitFor(
                [&] { return rig.loader.pending() == 0 && rig.loader.waitingForNavigation(); }));
            EXPECT_EQ(rig.passed, 0);
            EXPECT_EQ(rig.loader.loads().size(), 2u);
        }
        rig.loader.navigate(c.passing);
        ASSERT_TRUE(rig.waitFinished());
        EXPECT_EQ(rig.passed, 1);
        EXPECT_EQ(rig.verifications, 1);
        EXPECT_EQ(rig.events, (QStringList{QStringLiteral("verification ") + c.engineName, "passed",
                                           "outcome www.target.cn", "finished 0"}));
        std::vector<Text> loads = rig.addresses("seo", c.engine, 2);
        loads.push_back(loads.back());
        EXPECT_EQ(rig.loader.loads(), loads);
        ASSERT_EQ(rig.outcomes.size(), 1u);
        const QueryResult& r = rig.outcomes[0].result;
        EXPECT_EQ(r.outcome, Outcome::Ranked);
        EXPECT_EQ(r.rank, markers ? 11 : 14);
        EXPECT_EQ(r.pages, 3);
        EXPECT_TRUE(r.stored);
        EXPECT_EQ(rig.stored.size(), 1u);
    }
}

// A page of the older layout as Sogou served it: ten results cut by its text markers, the site
// shown in the one at index (-1: none); header: the site is named above the list as well.
Text olderSogouPage(int index, const Text& site, bool header = false) {
    Text list;
    for (int i = 0; i < 10; ++i)
        list += Text(i > 0 ? "<!-- z -->  <!-- a -->" : "") +
                "<div class=\"vrwrap\"><h3><a href=\"#\">Title " + std::to_string(i) +
                "</a></h3><cite>" + (i == index ? site : "www.r" + std::to_string(i) + ".org") +
                "/seo</cite></div>";
    return "<HTML><BODY><div id=\"header\">" + (header ? site : Text("seo")) +
           "</div><div class=\"results\">" + list + "</div></BODY></HTML>";
}

// The same for an engine the settings add, with markers of its own; footer: the site is named
// after the list's end.
Text olderAddedPage(int index, const Text& site, bool footer = false) {
    Text list;
    for (int i = 0; i < 10; ++i)
        list += "<LI>Title " + std::to_string(i) + " <cite>" +
                (i == index ? site : "www.r" + std::to_string(i) + ".org") + "</cite></LI><HR>";
    return "<html><body><OL ID=\"list\">" + list + "</OL><p>" + (footer ? site : Text("end")) +
           "</p></body></html>";
}

const std::string kOlderEngines = "SogouMode=markers\r\n"
                                  "Added=old\r\n"
                                  "OldAddress=https://old.example\r\n"
                                  "OldPage=/find?q={keyword}&p={page}\r\n"
                                  "OldMode=markers\r\n"
                                  "OldDelimiter=<HR>\r\n"
                                  "OldListStart=<ol id=\"LIST\">\r\n"
                                  "OldListEnd=</OL>\r\n";

// The older mode: the lower-cased page cut into results at the engine's text markers; the
// first page that names the site decides.
TEST(ScanMachine, MarkersMode) {
    const struct {
        const char* name;
        int engine;
        int page;  // where the site is named; 0: nowhere
        int index; // its result there; -1: outside the list
        Outcome outcome;
        int rank;
        int loads;
    } cases[] = {
        {"Sogou: page 2, fourth result", kSogou, 2, 3, Outcome::Ranked, 14, 2},
        {"Sogou: on no page of the fifty", kSogou, 0, -1, Outcome::NotFound, 0, 50},
        {"Sogou: named only above the list of page 1", kSogou, 1, -1, Outcome::NotFound, 0, 1},
        {"added engine: page 3, first result", kAdded, 3, 0, Outcome::Ranked, 21, 3},
        {"added engine: named only after its list's end", kAdded, 2, -1, Outcome::NotFound, 0, 2},
    };
    const Text site = "www.Target.cn";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(kOlderEngines);
        const std::vector<Text> addresses = rig.addresses("seo", c.engine, 50);
        for (int p = 1; p <= 50; ++p) {
            const bool here = p == c.page;
            const int index = here ? c.index : -1;
            rig.loader.serve(
                addresses[static_cast<size_t>(p - 1)],
                {ScriptedPage::markup(c.engine == kSogou
                                          ? olderSogouPage(index, site, here && index < 0)
                                          : olderAddedPage(index, site, here && index < 0))});
        }
        const QueryResult r = rig.query(site, "seo", c.engine);
        EXPECT_STREQ(outcomeName(r.outcome), outcomeName(c.outcome)) << r.reason.toStdString();
        EXPECT_EQ(r.rank, c.rank);
        EXPECT_EQ(r.url, QString());
        EXPECT_EQ(r.pages, c.loads);
        EXPECT_EQ(r.results, c.rank);
        EXPECT_EQ(rig.loader.loads(), rig.addresses("seo", c.engine, c.loads));
        EXPECT_EQ(rig.stored.size(), 1u);
    }

    // Two sites in one scan: fifty pages once, ranks as alone.
    Rig rig(kOlderEngines);
    const std::vector<Text> addresses = rig.addresses("older", kSogou, 50);
    for (int p = 1; p <= 50; ++p)
        rig.loader.serve(addresses[static_cast<size_t>(p - 1)],
                         {ScriptedPage::markup(olderSogouPage(p == 2 ? 3 : -1, "www.x.cn"))});
    const std::vector<RankOutcome> older =
        rig.run({{"www.x.cn", "older", kSogou}, {"www.y.cn", "older", kSogou}});
    EXPECT_EQ(rig.loader.loads(), addresses);
    ASSERT_EQ(older.size(), 2u);
    EXPECT_EQ(older[0].result.rank, 14);
    EXPECT_EQ(older[1].result.outcome, Outcome::NotFound);
}

// A database error while storing ends the run: what was settled before is told, then the
// error, then finished; no page of a later query is loaded.
TEST(ScanMachine, StoreErrorEndsTheRun) {
    const struct {
        const char* name;
        int throwAt;
        QStringList events;
    } cases[] = {
        {"the first store", 1, {"error Cannot open file Sort.mdb", "finished 0"}},
        {"the second site of a shared scan",
         2,
         {"outcome a.cn", "error Cannot open file Sort.mdb", "finished 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.throwAt = c.throwAt;
        rig.throwMessage = QStringLiteral("Cannot open file Sort.mdb");
        rig.servePages("one", kBaidu,
                       {.placed = {{{1, 0}, "https://a.cn/"}, {{1, 1}, "https://b.cn/"}}});
        rig.servePages("two", kSogou, {.placed = {{{1, 0}, "https://c.cn/"}}});
        rig.run({{"a.cn", "one", kBaidu}, {"b.cn", "one", kBaidu}, {"c.cn", "two", kSogou}});
        EXPECT_EQ(rig.events, c.events);
        EXPECT_EQ(rig.finishedCount, 1);
        EXPECT_EQ(rig.stored.size(), static_cast<size_t>(c.throwAt - 1));
        EXPECT_EQ(rig.loader.loads(), rig.addresses("one", kBaidu, 1));
        // The run is over: a stop now changes nothing.
        rig.scan.stop();
        QCoreApplication::processEvents();
        EXPECT_EQ(rig.finishedCount, 1);
        EXPECT_EQ(rig.loader.pending(), 0);
    }
}

// Engine settings the scan cannot use (here a local file as the engine's page) end the run
// with their error before any page loads.
TEST(ScanMachine, UnusableEngineSettingsEndTheRun) {
    Rig rig("BaiduAddress=file:///etc/passwd\r\n");
    rig.run({{"a.cn", "one", kBaidu}});
    EXPECT_EQ(rig.events, (QStringList{"error [Engines] BaiduAddress=file:///etc/passwd in "
                                       "Setting.ini is no web address: an engine's address "
                                       "starts with http:// or https:// and names a host",
                                       "finished 0"}));
    EXPECT_TRUE(rig.loader.loads().empty());
    EXPECT_TRUE(rig.stored.empty());
}

// A site or keyword the database cannot hold is refused before any page is loaded, with the
// database's own words; with storing off the query runs.
TEST(ScanMachine, TooLongForTheDatabaseLoadsNoPage) {
    const QString chinese30 = QString(30, QChar(0x4E2D)); // 中 x 30: 60 bytes in GBK
    const struct {
        const char* name;
        QString site;
        QString keyword;
        bool sortToDb;
        QString error; // empty: the query runs and ranks
    } cases[] = {
        {"keyword of 30 Chinese characters", "t.cn", chinese30, true, {}},
        {"keyword of 31", "t.cn", chinese30 + "k", true, "关键词最多 30 个字符"},
        {"spaces around a keyword of 30 are trimmed", "u.cn", "  " + chinese30 + " ", true, {}},
        {"site of 201", QString(197, 'a') + ".com", "seo", true, "网址最多 200 个字符"},
        {"keyword of 31, storing off", "t.cn", chinese30 + "k", false, {}},
    };
    Rig rig;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Settings::SortToDB.write(rig.settings(), c.sortToDb);
        const Text keyword = qStringToGbk(c.keyword.trimmed());
        rig.servePages(keyword, kBaidu, {.placed = {{{1, 0}, "https://" + c.site}}});
        const size_t loads = rig.loader.loads().size();
        const std::vector<RankOutcome> outcomes =
            rig.run({{qStringToGbk(c.site), qStringToGbk(c.keyword), kBaidu}});
        EXPECT_EQ(rig.finishedCount, 1);
        if (c.error.isEmpty()) {
            EXPECT_EQ(rig.errors, QStringList());
            ASSERT_EQ(outcomes.size(), 1u);
            EXPECT_EQ(outcomes[0].result.outcome, Outcome::Ranked)
                << outcomes[0].result.reason.toStdString();
            EXPECT_EQ(outcomes[0].result.stored, c.sortToDb);
            EXPECT_EQ(rig.loader.loads().size() - loads, 1u);
        } else {
            EXPECT_EQ(rig.errors, QStringList{c.error});
            EXPECT_EQ(rig.events.back(), QStringLiteral("finished 0"));
            EXPECT_TRUE(outcomes.empty());
            EXPECT_EQ(rig.loader.loads().size() - loads, 0u);
        }
    }
    // The two queries that ranked with storing on, and nothing else.
    EXPECT_EQ(rig.stored.size(), 2u);
}

// "temp.txt" that cannot be written: the run ranks as ever and keeps the first failure, once.
TEST(ScanMachine, UnwritableTempFileIsKeptOnceAndRanksStay) {
    Rig rig;
    ASSERT_TRUE(QDir(rig.programDir()).mkdir("temp.txt"));
    rig.servePages("seo", kBaidu, {.placed = {{{3, 1}, "https://t.cn/"}}, .last = 4});
    rig.servePages("seo", kSogou, {.last = 4, .lastHasNext = true});
    const std::vector<RankOutcome> outcomes =
        rig.run({{"t.cn", "seo", kBaidu}, {"www.elsewhere.cn", "seo", kSogou}});
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].result.outcome, Outcome::Ranked);
    EXPECT_EQ(outcomes[0].result.rank, 22);
    EXPECT_EQ(outcomes[1].result.outcome, Outcome::NotFound);
    // Baidu's three, Sogou's four and the empty one after them.
    EXPECT_EQ(rig.loader.loads().size(), 8u);
    EXPECT_EQ(rig.errors, QStringList());
    EXPECT_EQ(rig.scan.fileError(), QStringLiteral("Cannot write file %1temp.txt: Is a directory; "
                                                   "the ranks are not affected")
                                        .arg(rig.programDir()));
    EXPECT_EQ(rig.stored.size(), 2u);

    // The next run starts without it, and keeps the page it loaded last.
    ASSERT_TRUE(QDir(rig.programDir()).rmdir("temp.txt"));
    rig.run({{"t.cn", "seo", kBaidu}});
    EXPECT_EQ(rig.scan.fileError(), QString());
    EXPECT_TRUE(QFile::exists(rig.programDir() + "temp.txt"));
}

} // namespace
