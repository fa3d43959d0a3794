// What a rank query costs on top of the browser's own page loads, and whether memory grows.
// Run: QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
//      build/release/bench/rank_bench
#include "app/application.h"
#include "core/statussink.h"
#include "fakeengine.h"
#include "modules/browserloader.h"
#include "rank/engines.h"
#include "rank/rankscan.h"
#include "rank/resultrecipe.h"
#include "resident.h"
#include "resultpage.h"
#include "testserver.h"
#include "text/codepage.h"
#include "text/htmltotext.h"
#include "text/inifile.h"
#include "text/linewriter.h"
#include "todaypages.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class NoStatus : public StatusSink {
public:
    void SetStatusText(const Text&) override {}
};

// One run of queries, to its end.
QueryResult runQuery(PageLoader& browser, const IniFile& settings, const QString& dir,
                     const Text& site, const Text& keyword, int engine) {
    NoStatus status;
    bool stop = false;
    RankScan scan(
        browser, status, settings, dir + QLatin1Char('/'), stop,
        [](const Text&, const Text&, int, const QueryResult&) { return std::optional<int>(); });
    QueryResult result;
    QObject::connect(&scan, &RankScan::queryFinished,
                     [&result](const RankOutcome& o) { result = o.result; });
    QEventLoop loop;
    QObject::connect(&scan, &RankScan::finished, &loop, &QEventLoop::quit);
    scan.start({{site, keyword, engine}});
    loop.exec();
    return result;
}

// The page the browser holds, serialized.
Text pageHtml(PageLoader& browser) {
    Text html;
    QEventLoop loop;
    browser.GetBrowserHtml({}, [&](const Text& h) {
        html = h;
        loop.quit();
    });
    loop.exec();
    return html;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The text-marker scan's own work on one loaded page: lower-casing, "temp.txt", the text, the
// pieces.
void markerWorkPerPage(const QString& dir) {
    const Text page = makeResultPage(1 << 20);
    EngineProfile profile = defaultEngineProfiles()[0];
    profile.delimiter = Text(kResultDelimiter);
    constexpr int kRounds = 50;
    QElapsedTimer timer;
    timer.start();
    int found = 0;
    for (int i = 0; i < kRounds; ++i) {
        const Text lower = lowerText(page);
        AppendLineToFile(dir + QStringLiteral("/temp.txt"), lower, true, true);
        found += HtmlToText(lower, "").find("no-such-site.example") != Text::npos;
        found += rankOnPage(lower, "no-such-site.example", profile, 1);
    }
    std::printf("text markers, own work per 1 MB page: %.2f ms (%d)\n",
                static_cast<double>(timer.nsecsElapsed()) / 1e6 / kRounds, found);
}

// A Baidu page of today's markup, about 1 MB: fifty results with long snippets among cards
// and ads, the right column before the list.
std::string largeTodayPage() {
    TodayPages::Page page;
    page.keyword = "bench";
    page.decoySite = "www.decoy.cn";
    const std::string filler(19000, 'x');
    for (int i = 0; i < 50; ++i) {
        const std::string n = std::to_string(i + 1);
        if (i % 10 == 3)
            page.blocks.push_back(
                {TodayPages::BlockKind::Ad, "https://ad" + n + ".example/", "ad " + n, filler, ""});
        if (i % 10 == 6)
            page.blocks.push_back({TodayPages::BlockKind::CardNoUrl, "", "card " + n, filler, ""});
        page.blocks.push_back({TodayPages::BlockKind::Web,
                               "https://www.r" + n + "-result.org/a?b=" + n + "&c=1",
                               "bench 结果 " + n, filler, i % 2 ? "CSDN技术社区" : ""});
    }
    return TodayPages::resultPage(page);
}

// The recipe scan's own work on one loaded page, in the real browser: the in-page script and
// the matching, and apart from it the serialization kept in "temp.txt".
void recipeWorkPerPage(const QString& dir) {
    const std::string html = largeTodayPage();
    TestServer server;
    server.setDefaultResponse(TestResponse::raw(
        "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n"
        "Content-Length: " +
        std::to_string(html.size()) + "\r\n\r\n" + html));
    const auto page = createBrowserPage(dir + QStringLiteral("/recipe-browser"));
    PageLoader& browser = *page;
    LoadedPage loaded;
    {
        QEventLoop loop;
        browser.loadPage(server.url("/s?wd=bench&pn=0"), std::chrono::seconds(60),
                         [&](const LoadedPage& l) {
                             loaded = l;
                             loop.quit();
                         });
        loop.exec();
    }
    if (loaded.status != LoadedPage::Status::Loaded) {
        std::printf("recipe page did not load: %s\n", qPrintable(loaded.error));
        return;
    }
    const ResultRecipe& recipe = defaultEngineProfiles()[0].recipe;
    const QString script = resultScript(recipe);
    const SiteMatcher matcher(QStringLiteral("www.not-there.cn"));
    std::vector<double> scan;
    std::vector<double> keep;
    size_t results = 0;
    for (int round = 0; round < 30; ++round) {
        QElapsedTimer timer;
        timer.start();
        QString answer;
        QEventLoop loop;
        browser.runScript(script, [&](const QString& a) {
            answer = a;
            loop.quit();
        });
        loop.exec();
        const PageReading reading = readPageAnswer(answer);
        int matched = 0;
        for (const PageResult& r : reading.results)
            matched += isDestination(r.url, recipe) && matcher.matches(r.url);
        results = reading.results.size() + static_cast<size_t>(matched);
        scan.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        const Text lower = lowerText(pageHtml(browser));
        AppendLineToFile(dir + QStringLiteral("/temp.txt"), lower, true, true);
        keep.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("recipe, %zu KB page, %zu results: in-page script and matching %.2f ms "
                "(median of 30); the page serialized by the browser and kept in temp.txt %.2f ms\n",
                html.size() / 1024, results, median(scan), median(keep));
}

// Page loads and time for a query that finds nothing within a depth of 500.
void depthAgainstPageSize(const QString& dir) {
    FakeEngine engine;
    engine.setMarkup(FakeEngine::Markup::Today);
    writeEngineSettings(dir, engine.address(), false, false);
    IniFile settings(dir + QStringLiteral("/Setting.ini"));
    const auto page = createBrowserPage(dir + QStringLiteral("/depth-browser"));
    PageLoader& browser = *page;
    for (const int size : {10, 50}) {
        settings.writeInteger("SortQuery", "PageSize", size);
        const int before = engine.pagesServed();
        QElapsedTimer timer;
        timer.start();
        const QueryResult r = runQuery(browser, settings, dir, "www.not-there.cn", "depth", 0);
        std::printf("depth 500, page size %d: %d page loads, %d results, %lld ms\n", size,
                    engine.pagesServed() - before, r.results,
                    static_cast<long long>(timer.elapsed()));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    Application::prepare();
    Application app(argc, argv);
    QTemporaryDir dir;
    markerWorkPerPage(dir.path());
    recipeWorkPerPage(dir.path());
    depthAgainstPageSize(dir.path());

    FakeEngine engine;
    writeEngineSettings(dir.path(), engine.address(), false);
    IniFile settings(dir.filePath(QStringLiteral("Setting.ini")));
    const auto page = createBrowserPage(dir.filePath(QStringLiteral("browser")));
    PageLoader& browser = *page;
    // The same 50 pages through a bare page, loaded one after another.
    QWebEngineProfile bareProfile;
    QWebEnginePage bare(&bareProfile);
    QElapsedTimer timer;
    timer.start();
    for (int page = 1; page <= 50; ++page) {
        QEventLoop loop;
        QObject::connect(&bare, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        const Text url = BuildResultPageUrl("bench", 0, page, loadEngineProfiles(settings));
        bare.load(QUrl(QString::fromStdString(url)));
        loop.exec();
        bool got = false;
        bare.toHtml([&](const QString&) {
            got = true;
            loop.quit();
        });
        while (!got)
            loop.exec();
    }
    const double bareMs = static_cast<double>(timer.elapsed());

    timer.restart();
    runQuery(browser, settings, dir.path(), "not-there.example", "bench", 0);
    const double queryMs = static_cast<double>(timer.elapsed());
    const long afterFirst = residentKiB();
    std::printf("50 pages of the older layout: bare page %.0f ms, rank query %.0f ms (%.2fx)\n",
                bareMs, queryMs, queryMs / bareMs);

    for (int i = 0; i < 9; ++i)
        runQuery(browser, settings, dir.path(), "not-there.example", "bench" + std::to_string(i),
                 i % 3);
    const long afterTen = residentKiB();
    std::printf("resident: %ld KiB after 1 query, %ld KiB after 10 (%.2fx)\n", afterFirst, afterTen,
                static_cast<double>(afterTen) / static_cast<double>(afterFirst));
    return 0;
}
