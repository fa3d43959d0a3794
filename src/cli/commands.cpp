#include "cli/commands.h"

#include "cli/output.h"
#include "core/datafiles.h"
#include "core/settingkeys.h"
#include "modules/browserloader.h"
#include "rank/engines.h"
#include "rank/rankrun.h"
#include "rank/reportlines.h"
#include "store/rankdb.h"
#include "text/apperror.h"
#include "text/inifile.h"

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_interruptSignal{0};

IniFile settingsFile(const Options& o) {
    return IniFile(o.dir + DataFiles::Settings);
}

DatabaseAddress databaseAddress(const Options& o) {
    return rankDatabaseAddress(o.dir, settingsFile(o), o.db);
}

void loadEngines(const Options& o) {
    setCurrentEngineProfiles(loadEngineProfiles(settingsFile(o)));
}

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

int exitCode(Outcome outcome, int code) {
    if (outcome == Outcome::Failed)
        return 4;
    if (outcome == Outcome::Blocked && code != 4)
        return 3;
    return code;
}

void printOutcome(const RankOutcome& outcome, int& code) {
    if (outcome.result.outcome == Outcome::Stopped)
        return;
    printOut(outcomeLine(outcome));
    code = exitCode(outcome.result.outcome, code);
}

int runQueries(const Options& o, std::vector<RankQuery> queries) {
    RankDatabase database(databaseAddress(o));
    // A database that cannot take the results fails the command before any page is loaded.
    database.connection();
    const std::unique_ptr<PageLoader> browser = createBrowserPage(o.dir + DataFiles::Browser);
    const IniFile settings = settingsFile(o);
    ConsoleStatus status(o.verbose);
    bool stopRequested = false;
    RankRun run(*browser, status, settings, o.dir, stopRequested, database);
    int code = 0;
    QObject::connect(&run, &RankRun::queryFinished,
                     [&code](const RankOutcome& outcome) { printOutcome(outcome, code); });
    run.exec(std::move(queries), &g_interrupted);
    // The ranks stand without the copy of the pages: said once, not counted as a failure.
    if (!run.fileError().isEmpty())
        printErr(run.fileError() + QLatin1Char('.'));
    if (!run.error().isEmpty())
        throw AppError(run.error());
    return code;
}
