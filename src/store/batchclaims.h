#pragma once

#include "store/rankdb.h"
#include "store/rankquery.h"

#include <QString>
#include <QVariantList>
#include <optional>
#include <vector>

// The day's batch queries shared out among workers on any number of machines, through the
// claims table of a shared database: a worker claims the open queries of one keyword and
// engine together (one scan serves them all), holds them under a lease it renews, and marks
// each done, or gives it back after a blocked or failed scan. A worker that dies stops renewing,
// and its queries are claimed again once the lease has run out. Works on SQLite too, where one
// writer at a time does what the row locks do on PostgreSQL.
class BatchClaims {
public:
    // A query blocked or failed this many times in a day is left for the report.
    static constexpr int kMaxFailures = 3;

    BatchClaims(RankDatabase& database, QString worker, int leaseSeconds);

    // Adds the day's row of each query not yet listed: open, or done when its rank is stored
    // for the day already.
    void seed(const std::vector<RankQuery>& queries);
    // The open queries (or those whose lease ran out) of the first keyword and engine that has
    // any, now this worker's; none when the day's list is worked through.
    std::vector<RankQuery> claimNext();
    // Moves the lease of every query this worker holds on.
    void renew();
    void done(const RankQuery& query);
    // Stores the query's rank (RankDatabase::storeRankWaiting) and marks it done in the same
    // transaction, so that a lost connection can never leave a stored rank claimed, or a done
    // query without its rank. Returns the rank of the latest earlier day, if any.
    std::optional<int> storeDone(const RankQuery& query, int rank, const QString& url,
                                 const LockWait& wait);
    // A blocked or failed scan: the query goes back to the list with the count and the reason,
    // or, at its kMaxFailures-th failure of the day, is left failed.
    void release(const RankQuery& query, Outcome outcome, const QString& reason);
    // Back to the list uncounted (the worker was stopped).
    void giveBack(const RankQuery& query);

    struct Status {
        int done = 0;
        int left = 0;    // open, never blocked or failed
        int blocked = 0; // open again after a blocked scan, waiting for a retry
        int retry = 0;   // open again after a failed scan, waiting for a retry
        int failed = 0;  // failed kMaxFailures times: left for the report
        std::vector<std::pair<QString, int>> claimedBy; // worker, queries held
        int claimed() const;
    };
    // The day's progress.
    Status status();

private:
    QString day() const;
    void finish(const RankQuery& query, const QString& assignment, const QVariantList& values);

    RankDatabase& m_database;
    QString m_worker;
    int m_leaseSeconds;
};
