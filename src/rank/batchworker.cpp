#include "rank/batchworker.h"

#include "core/settingkeys.h"
#include "rank/batchqueries.h"
#include "rank/rankrun.h"
#include "store/rankdb.h"
#include "text/apperror.h"

#include <QTimer>
#include <algorithm>

BatchWorker::BatchWorker(StatusSink& status, const IniFile& settings, QString programDir,
                         RankDatabase& database, const QString& name)
    : m_status(status), m_settings(settings), m_programDir(std::move(programDir)),
      m_database(database), m_lease(Settings::ClaimLease.readInRange(settings)),
      m_claims(database, name, m_lease) {}

void BatchWorker::seed() {
    m_claims.seed(makeBatchQueries(m_database.batchRows()));
}

void BatchWorker::run(PageLoader& browser, const std::function<void(const RankOutcome&)>& onOutcome,
                      const std::function<void(const QString&)>& onFileError,
                      const std::atomic<bool>* interrupted) {
    BatchClaims& claims = m_claims;
    // The claims are written from the event loop, which no exception may cross: a failed write
    // is kept and ends the worker after the scan under way.
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
    renew.setInterval(std::max(1000, m_lease * 1000 / 3));
    QObject::connect(&renew, &QTimer::timeout, [&] { writeClaims([&] { claims.renew(); }); });
    renew.start();
    bool stopRequested = false;
    while (!(interrupted && *interrupted)) {
        std::vector<RankQuery> group = claims.claimNext();
        if (group.empty())
            break;
        RankRun run(browser, m_status, m_settings, m_programDir, stopRequested, m_database);
        // The rank and its claim in one step: a connection lost between them would leave a
        // stored rank claimed, or a query done without its rank.
        run.setWrite([&claims](const RankQuery& q, const QueryResult& r, const LockWait& wait) {
            return claims.storeDone(q, r.rank, r.url, wait);
        });
        QObject::connect(&run, &RankRun::queryFinished, [&](const RankOutcome& r) {
            if (onOutcome)
                onOutcome(r);
            const RankQuery query{r.site, r.keyword, r.engine};
            writeClaims([&] {
                switch (r.result.outcome) {
                case Outcome::Ranked:
                case Outcome::NotFound:
                    // A stored result's claim is done already, in the same transaction.
                    if (!r.result.stored)
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
        run.exec(std::move(group), interrupted);
        if (onFileError && !run.fileError().isEmpty())
            onFileError(run.fileError());
        if (!run.error().isEmpty())
            throw AppError(run.error());
        if (!claimsError.isEmpty())
            throw AppError(claimsError);
    }
}
