#include "cli/commands.h"
#include "cli/output.h"
#include "core/datafiles.h"
#include "modules/browserloader.h"
#include "rank/batchqueries.h"
#include "rank/batchworker.h"
#include "store/batchclaims.h"
#include "store/rankdb.h"
#include "text/inifile.h"

#include <QDate>
#include <memory>

namespace {

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
    const IniFile settings = settingsFile(o);
    RankDatabase database(databaseAddress(o));
    ConsoleStatus status(o.verbose);
    BatchWorker worker(status, settings, o.dir, database, o.worker);
    worker.seed();
    const std::unique_ptr<PageLoader> browser = createBrowserPage(o.dir + DataFiles::Browser);
    int code = 0;
    worker.run(
        *browser, [&code](const RankOutcome& outcome) { printOutcome(outcome, code); },
        [](const QString& fileError) { printErr(fileError + QLatin1Char('.')); }, &g_interrupted);
    return code;
}

} // namespace

int runBatch(const Options& o) {
    if (!o.args.isEmpty())
        throw UsageError("batch takes no arguments");
    loadEngines(o);
    if (!o.worker.isEmpty())
        return runBatchWorker(o);
    if (o.status) {
        RankDatabase database(databaseAddress(o));
        BatchClaims claims(database, QString(), 0);
        printOut(statusLine(database.today().toString(Qt::ISODate), claims.status()));
        return 0;
    }
    RankDatabase database(databaseAddress(o));
    std::vector<RankQuery> queries = makeBatchQueries(database.batchRows());
    database.close();
    if (queries.empty()) {
        printErr(QStringLiteral("The batch list is empty."));
        return 0;
    }
    return runQueries(o, std::move(queries));
}
