#include "cli/commands.h"

#include "cli/output.h"
#include "core/connstr.h"
#include "core/settingkeys.h"
#include "modules/browserloader.h"
#include "modules/reportloader.h"
#include "rank/batchqueries.h"
#include "rank/engines.h"
#include "rank/rankscan.h"
#include "rank/reportlines.h"
#include "sender/dispenser.h"
#include "sender/fetchsettings.h"
#include "sender/sendrun.h"
#include "sender/sitelist.h"
#include "sender/startrun.h"
#include "sender/templatecheck.h"
#include "store/batchclaims.h"
#include "store/historycsv.h"
#include "store/rankdb.h"
#include "store/ranktrend.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/inifile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <unistd.h>

std::atomic<bool> g_interrupted{false};

namespace {

QString connectionString(const Options& o) {
    return rankConnectionString(o.dir, IniFile(o.dir + QStringLiteral("Setting.ini")), o.db);
}

// The engines of the program folder's settings become the ones names are taken from.
void loadEngines(const Options& o) {
    setCurrentEngineProfiles(loadEngineProfiles(IniFile(o.dir + QStringLiteral("Setting.ini"))));
}

// The engine's number, or -1 for all of them.
int engineIndex(const QString& name) {
    if (name.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0 ||
        name == QStringLiteral("全部"))
        return -1;
    if (const int engine = findEngine(name); engine >= 0)
        return engine;
    QStringList keys;
    for (const EngineProfile& engine : currentEngineProfiles())
        keys << QString::fromStdString(engine.key);
    throw AppError(QStringLiteral("Unknown engine \"%1\" (%2 or all)")
                       .arg(name, keys.join(QStringLiteral(", "))));
}

// Failed outranks blocked: a dead engine or a changed layout needs a person sooner.
int exitCode(Outcome outcome, int code) {
    if (outcome == Outcome::Failed)
        return 4;
    if (outcome == Outcome::Blocked && code != 4)
        return 3;
    return code;
}

// Runs rank queries as the window's runner does, printing a line for each as it ends; each
// outcome goes to onOutcome too. The page is the caller's, so that one browser serves many runs.
int scanQueries(const Options& o, PageLoader& browser, RankDatabase& database,
                std::vector<RankQuery> queries,
                const std::function<void(const RankOutcome&)>& onOutcome = {}) {
    IniFile settings(o.dir + QStringLiteral("Setting.ini"));
    ConsoleStatus status(o.verbose);
    bool stopRequested = false;
    RankScan scan(
        browser, status, settings, o.dir, stopRequested,
        [&](const Text& site, const Text& keyword, int engine, const QueryResult& result) {
            return database.StoreRank(site, keyword, engine, result.rank, result.url);
        });
    int code = 0;
    QString error;
    QObject::connect(&scan, &RankScan::queryFinished, [&](const RankOutcome& outcome) {
        if (onOutcome)
            onOutcome(outcome);
        if (outcome.result.outcome == Outcome::Stopped)
            return;
        printOut(outcomeLine(outcome));
        code = exitCode(outcome.result.outcome, code);
    });
    QObject::connect(&scan, &RankScan::error, [&](const QString& message) { error = message; });
    QEventLoop loop;
    QObject::connect(&scan, &RankScan::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    // Ctrl+C ends the run after the page under way, as the closing of the window does.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (g_interrupted)
            scan.stop();
    });
    watch.start(50);
    scan.start(std::move(queries));
    loop.exec();
    // The ranks stand without the copy of the pages: said once, not counted as a failure.
    if (!scan.fileError().isEmpty())
        printErr(scan.fileError() + QLatin1Char('.'));
    if (!error.isEmpty())
        throw AppError(error);
    return code;
}

int runQueries(const Options& o, std::vector<RankQuery> queries) {
    RankDatabase database(connectionString(o));
    // A database that cannot take the results fails the command before any page is loaded.
    database.connection();
    const std::unique_ptr<PageLoader> browser =
        createBrowserPage(o.dir + QStringLiteral("browser"));
    const int code = scanQueries(o, *browser, database, std::move(queries));
    if (g_interrupted) {
        printErr(QStringLiteral("interrupted"));
        return 130;
    }
    return code;
}

QString statusLine(const QString& day, const BatchClaims::Status& s) {
    QStringList holders;
    for (const auto& [worker, count] : s.claimedBy)
        holders << QStringLiteral("%1 %2").arg(worker).arg(count);
    return QStringLiteral("%1: done %2, claimed %3%4, blocked %5, to retry %6, failed %7, left %8")
        .arg(day)
        .arg(s.done)
        .arg(s.claimed())
        .arg(holders.isEmpty() ? QString()
                               : QStringLiteral(" (%1)").arg(holders.join(QStringLiteral(", "))))
        .arg(s.blocked)
        .arg(s.retry)
        .arg(s.failed)
        .arg(s.left);
}

// One worker of many: claims the day's batch queries a keyword and engine at a time until none
// is left, so that workers on several machines split one batch list.
int runBatchWorker(const Options& o) {
    IniFile settings(o.dir + QStringLiteral("Setting.ini"));
    RankDatabase database(connectionString(o));
    const int lease = Settings::ClaimLease.readInRange(settings);
    BatchClaims claims(database, o.worker, lease);
    claims.seed(makeBatchQueries(database.batchRows()));
    const std::unique_ptr<PageLoader> browser =
        createBrowserPage(o.dir + QStringLiteral("browser"));
    // The claims are written from the event loop, which no exception may cross: a failed write
    // (the shared database went away) is kept and ends the worker after the scan under way.
    QString claimsError;
    const auto writeClaims = [&claimsError](const auto& write) {
        try {
            write();
        } catch (const AppError& e) {
            if (claimsError.isEmpty())
                claimsError = e.message();
        }
    };
    // A live worker keeps what it holds, however long a scan takes.
    QTimer renew;
    renew.setInterval(std::max(1000, lease * 1000 / 3));
    QObject::connect(&renew, &QTimer::timeout, [&] { writeClaims([&] { claims.renew(); }); });
    renew.start();
    int code = 0;
    for (;;) {
        if (g_interrupted)
            break;
        std::vector<RankQuery> group = claims.claimNext();
        if (group.empty())
            break;
        const int scanned = scanQueries(o, *browser, database, group, [&](const RankOutcome& r) {
            const RankQuery query{r.site, r.keyword, r.engine};
            writeClaims([&] {
                switch (r.result.outcome) {
                case Outcome::Ranked:
                case Outcome::NotFound:
                    claims.done(query);
                    break;
                case Outcome::Blocked:
                case Outcome::Failed:
                    claims.release(query, r.result.outcome, r.result.reason);
                    break;
                case Outcome::Stopped:
                    claims.giveBack(query);
                    break;
                }
            });
        });
        if (!claimsError.isEmpty())
            throw AppError(claimsError);
        code = std::max(code, scanned);
    }
    if (g_interrupted) {
        printErr(QStringLiteral("interrupted"));
        return 130;
    }
    return code;
}

} // namespace

int runRank(const Options& o) {
    if (o.args.size() != 2)
        throw UsageError("rank needs SITE and KEYWORD");
    loadEngines(o);
    const int engine = engineIndex(o.engine);
    std::vector<RankDatabase::BatchRow> rows{
        {0, qStringToGbk(o.args[0]), qStringToGbk(o.args[1]), engine < 0 ? 0 : engine + 1}};
    return runQueries(o, makeBatchQueries(rows));
}

int runBatch(const Options& o) {
    if (!o.args.isEmpty())
        throw UsageError("batch takes no arguments");
    loadEngines(o);
    if (!o.worker.isEmpty())
        return runBatchWorker(o);
    if (o.status) {
        RankDatabase database(connectionString(o));
        BatchClaims claims(database, QString(), 0);
        printOut(statusLine(database.today().toString(Qt::ISODate), claims.status()));
        return 0;
    }
    RankDatabase database(connectionString(o));
    std::vector<RankQuery> queries = makeBatchQueries(database.batchRows());
    database.close();
    if (queries.empty()) {
        printErr(QStringLiteral("The batch list is empty."));
        return 0;
    }
    return runQueries(o, std::move(queries));
}

int runSend(const Options& o) {
    if (!o.args.isEmpty())
        throw UsageError("send takes no arguments");
    IniFile settings(o.dir + QStringLiteral("Setting.ini"));
    // As the window's spin edits do: stored values brought into their ranges, then saved.
    const int threads =
        Settings::ThreadCount.clamp(o.threads.value_or(Settings::ThreadCount.read(settings)));
    const int passes =
        Settings::SendCount.clamp(o.passes.value_or(Settings::SendCount.read(settings)));
    Settings::ThreadCount.write(settings, threads);
    Settings::SendCount.write(settings, passes);

    SiteList sites;
    try {
        sites.load(o.dir + QStringLiteral("Url.txt"));
    } catch (const AppError& e) {
        // As at the window's start: said once, then an empty list.
        printErr(e.message() + QLatin1Char('.'));
    }
    Dispenser dispenser(sites, [passes] { return passes; });
    const QString templates = o.dir + QStringLiteral("SL.txt");
    dispenser.LoadTemplates(templates);
    if (!dispenser.hasTemplates())
        throw AppError(noTemplatesMessage(templates));
    ConsoleStatus status(o.verbose);
    FetchOptions options;
    readFetchSettings(settings, options);
    std::unique_ptr<SendRun> run = startSendRun(o.dir, sites, dispenser, status, options, threads);
    const long long total = dispenser.jobCount();

    QEventLoop loop;
    QObject::connect(run.get(), &SendRun::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    const bool progress = isatty(STDERR_FILENO) && !o.verbose;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (g_interrupted)
            run->abort();
        if (progress)
            // Back to the line's start, the text, then the rest of the line cleared.
            std::fprintf(
                stderr, "\r%s\033[K",
                sendProgressText(run->jobsDone(), total, elapsed.elapsed()).toUtf8().constData());
        if (run->isFinished())
            loop.quit();
    });
    tick.start(100);
    if (!run->isFinished())
        loop.exec();
    if (progress)
        std::fprintf(stderr, "\n");
    // Finished: every worker has ended and the report is written.
    const int fetched = run->jobsDone();
    const int succeeded = run->jobsSucceeded();
    const SendReport report = run->report();
    const QString runError = run->error();
    run.reset();
    printOut(QStringLiteral("fetched %1 URLs, %2 succeeded").arg(fetched).arg(succeeded));
    printOut(sendSummary(report));
    if (!runError.isEmpty()) {
        printErr(runError + QLatin1Char('.'));
        return 1;
    }
    if (g_interrupted) {
        printErr(QStringLiteral("interrupted"));
        return 130;
    }
    return 0;
}

int runTemplates(const Options& o) {
    if (o.args != QStringList{QStringLiteral("check")})
        throw UsageError("use: templates check");
    IniFile settings(o.dir + QStringLiteral("Setting.ini"));
    const int threads =
        Settings::ThreadCount.clamp(o.threads.value_or(Settings::ThreadCount.read(settings)));
    SiteList sites;
    const QString sitePath = o.dir + QStringLiteral("Url.txt");
    if (QFile::exists(sitePath))
        sites.load(sitePath);
    sites.TidySiteList();
    SiteList none;
    Dispenser dispenser(none, [] { return 1; });
    const QString templates = o.dir + QStringLiteral("SL.txt");
    dispenser.LoadTemplates(templates);
    if (!dispenser.hasTemplates())
        throw AppError(noTemplatesMessage(templates));
    FetchOptions options;
    readFetchSettings(settings, options);
    const SendReport report =
        checkTemplates(dispenser.lines(), sites.entries(), options, threads, &g_interrupted);
    QList<QStringList> rows;
    for (size_t i = 0; i < report.lines.size(); ++i) {
        const Text& line = report.lines[i];
        if (line.empty() || line[0] < '0' || line[0] > '9')
            continue;
        const TemplateTally& tally = report.tallies[i];
        const QString state = tally.jobs == 0       ? QStringLiteral("无适用网址")
                              : tally.successes > 0 ? QStringLiteral("可用")
                                                    : tally.commonestFailure().first;
        rows << QStringList{QString::number(i + 1), state, gbkToQString(line)};
    }
    printOut(alignedTable({QStringLiteral("行号"), QStringLiteral("状态"), QStringLiteral("模板")},
                          rows));
    printOut(QStringLiteral("可用 %1 个; 失效 %2 个")
                 .arg(report.successes())
                 .arg(report.deadLines().size()));
    if (g_interrupted) {
        printErr(QStringLiteral("interrupted"));
        return 130;
    }
    return 0;
}

int runHistory(const Options& o) {
    if (!o.args.isEmpty())
        throw UsageError("history takes no arguments");
    const int outputs = int(o.csv) + int(!o.xlsx.isEmpty()) + int(!o.chart.isEmpty()) +
                        int(!o.importFile.isEmpty());
    if (outputs > 1)
        throw UsageError("history takes one of --csv, --xlsx, --chart and --import");
    const bool charting = !o.chart.isEmpty();
    if (charting == o.site.isEmpty() || charting == o.keyword.isEmpty())
        throw UsageError("history --chart needs --site and --keyword, and they need --chart");
    loadEngines(o);
    RankDatabase database(connectionString(o));
    if (!o.importFile.isEmpty()) {
        const RankDatabase::ImportCount count = importHistoryCsv(
            database, o.importFile, [](const QString& name) { return findEngine(name); });
        printOut(QStringLiteral("%1 rows imported, %2 already in the history kept as they were")
                     .arg(count.added)
                     .arg(count.kept));
        return 0;
    }
    if (!o.chart.isEmpty()) {
        const RankTrend trend =
            makeRankTrend(database.trendRows(qStringToGbk(o.site), qStringToGbk(o.keyword)));
        if (trend.lines.empty())
            throw AppError(
                QStringLiteral("No result is stored for %1 and %2").arg(o.site, o.keyword));
        saveRankChartPng(trend, rankChartTitle(o.site, o.keyword), o.chart);
        printOut(QStringLiteral("chart written to %1").arg(o.chart));
        return 0;
    }
    // The destination that ranked goes to spreadsheets; the table on a terminal stays narrow.
    const bool wide = o.csv || !o.xlsx.isEmpty();
    QStringList header = historyTableHeader();
    if (!wide)
        header.removeLast();
    QList<QStringList> rows;
    for (const RankDatabase::HistoryRow& row : database.historyRows(o.limit)) {
        rows << QStringList{gbkToQString(row.site), gbkToQString(row.keyword),
                            SortQuerySearcherTypeGetText(row.engine), QString::number(row.rank),
                            row.day.toString(Qt::ISODate)};
        if (wide)
            rows.back() << row.url;
    }
    if (!o.xlsx.isEmpty()) {
        writeXlsxTable(o.xlsx, QStringLiteral("排名历史"), header, rows);
        printOut(QStringLiteral("%1 rows written to %2").arg(rows.size()).arg(o.xlsx));
    } else if (o.csv) {
        printOut(csvLine(header));
        for (const QStringList& row : rows)
            printOut(csvLine(row));
    } else {
        printOut(alignedTable(header, rows));
    }
    return 0;
}

int runSites(const Options& o) {
    const QString path = o.dir + QStringLiteral("Url.txt");
    SiteList sites;
    if (o.args.value(0) == QLatin1String("list") && o.args.size() == 1) {
        if (QFile::exists(path))
            sites.load(path);
        for (const Text& site : sites.entries())
            printOut(gbkToQString(site));
        return 0;
    }
    if (o.args.value(0) == QLatin1String("add") && o.args.size() == 2) {
        if (QFile::exists(path))
            sites.load(path);
        const Text site = trimText(qStringToGbk(o.args[1]));
        if (site.empty())
            throw UsageError("sites add needs a site");
        if (SiteList::holdsControlCharacter(site))
            throw UsageError("a site cannot hold control characters such as line breaks");
        sites.append(site);
        sites.save(path);
        return 0;
    }
    throw UsageError("use: sites add URL | sites list");
}
