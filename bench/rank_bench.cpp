// What a rank query costs on top of the browser's own page loads, and whether memory grows.
// Run: QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
//      build/release/bench/rank_bench
#include "application.h"
#include "browserpage.h"
#include "engines.h"
#include "fakeengine.h"
#include "htmltotext.h"
#include "inifile.h"
#include "linewriter.h"
#include "rankscan.h"
#include "resident.h"
#include "resultpage.h"
#include "statussink.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <cstdio>

namespace {

class NoStatus : public StatusSink {
public:
    void SetStatusText(const Text&) override {}
};

// The scan's own work on one loaded page: lower-casing, "temp.txt", the text, the pieces.
void OwnWorkPerPage(const QString& dir) {
    const Text page = MakeResultPage(1 << 20);
    EngineProfile profile = DefaultEngineProfiles()[0];
    profile.delimiter = Text(kResultDelimiter);
    constexpr int kRounds = 50;
    QElapsedTimer timer;
    timer.start();
    int found = 0;
    for (int i = 0; i < kRounds; ++i) {
        const Text lower = LowerText(page);
        AppendLineToFile(dir + QStringLiteral("/temp.txt"), lower, true, true);
        found += HtmlToText(lower, "").find("no-such-site.example") != Text::npos;
        found += RankOnPage(lower, "no-such-site.example", profile, 1);
    }
    std::printf("own work per 1 MB page: %.2f ms (%d)\n",
                static_cast<double>(timer.nsecsElapsed()) / 1e6 / kRounds, found);
}

} // namespace

int main(int argc, char* argv[]) {
    Application::prepare();
    Application app(argc, argv);
    QTemporaryDir dir;
    OwnWorkPerPage(dir.path());

    FakeEngine engine;
    WriteEngineSettings(dir.path(), engine.address(), false);
    IniFile settings(dir.filePath(QStringLiteral("Setting.ini")));
    BrowserPage browser(dir.filePath(QStringLiteral("browser")));
    NoStatus status;
    bool stop = false;
    RankScanner scanner(browser, status, settings, dir.path() + QLatin1Char('/'), stop,
                        [](const Text&, const Text&, int, const QueryResult&) {});

    // The same 50 pages through a bare page, loaded one after another.
    QWebEngineProfile bareProfile;
    QWebEnginePage bare(&bareProfile);
    QElapsedTimer timer;
    timer.start();
    for (int page = 1; page <= 50; ++page) {
        QEventLoop loop;
        QObject::connect(&bare, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        const Text url = BuildResultPageUrl("bench", 0, page, LoadEngineProfiles(settings));
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
    scanner.QueryRank("not-there.example", "bench", 0);
    const double queryMs = static_cast<double>(timer.elapsed());
    const long afterFirst = ResidentKiB();
    std::printf("50 pages: bare page %.0f ms, rank query %.0f ms (%.2fx)\n", bareMs, queryMs,
                queryMs / bareMs);

    for (int i = 0; i < 9; ++i)
        scanner.QueryRank("not-there.example", "bench" + std::to_string(i), i % 3);
    const long afterTen = ResidentKiB();
    std::printf("resident: %ld KiB after 1 query, %ld KiB after 10 (%.2fx)\n", afterFirst, afterTen,
                static_cast<double>(afterTen) / static_cast<double>(afterFirst));
    return 0;
}
