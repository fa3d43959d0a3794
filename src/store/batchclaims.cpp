#include "store/batchclaims.h"

#include "store/sqldialect.h"
#include "text/codepage.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <map>

namespace {

// Open, or claimed by a worker whose lease has run out.
QString claimable(SqlDialect dialect) {
    return QStringLiteral("(State = 'open' OR (State = 'claimed' AND LeaseUntil < %1))")
        .arg(nowSecondsExpression(dialect));
}

void bindQuery(QSqlQuery& query, SqlDialect dialect, const QString& day, const RankQuery& q) {
    query.addBindValue(day);
    query.addBindValue(boundText(dialect, gbkToQString(q.site)));
    query.addBindValue(boundText(dialect, gbkToQString(q.keyword)));
    query.addBindValue(q.engine);
}

} // namespace

int BatchClaims::Status::claimed() const {
    int sum = 0;
    for (const auto& [worker, count] : claimedBy)
        sum += count;
    return sum;
}

BatchClaims::BatchClaims(RankDatabase& database, QString worker, int leaseSeconds)
    : m_database(database), m_worker(std::move(worker)), m_leaseSeconds(leaseSeconds) {}

QString BatchClaims::day() const {
    return m_database.today().toString(Qt::ISODate);
}

void BatchClaims::seed(const std::vector<RankQuery>& queries) {
    QSqlDatabase& db = m_database.connection();
    const SqlDialect dialect = dialectOf(db);
    const QString today = day();
    inTransaction(db, {beginClaimsStatement(dialect)}, [&] {
        // Typed casts: PostgreSQL cannot tell a parameter's type from a select list.
        QSqlQuery insert = prepareOrThrow(
            db,
            QStringLiteral("INSERT INTO BatchClaims (Day, Web, SearchKey, SearcherType, State) "
                           "SELECT CAST(? AS TEXT), CAST(? AS TEXT), CAST(? AS TEXT), "
                           "CAST(? AS INTEGER), CASE WHEN EXISTS (SELECT 1 FROM QuerySort WHERE "
                           "Web = ? AND SearchKey = ? AND SearcherType = ? AND QueryDate = ?) "
                           "THEN 'done' ELSE 'open' END WHERE 1 = 1 ON CONFLICT DO NOTHING"));
        for (const RankQuery& q : queries) {
            bindQuery(insert, dialect, today, q);
            insert.addBindValue(boundText(dialect, gbkToQString(q.site)));
            insert.addBindValue(boundText(dialect, gbkToQString(q.keyword)));
            insert.addBindValue(q.engine);
            insert.addBindValue(today);
            execOrThrow(insert);
        }
    });
}

std::vector<RankQuery> BatchClaims::claimNext() {
    QSqlDatabase& db = m_database.connection();
    const SqlDialect dialect = dialectOf(db);
    const QString today = day();
    return inTransaction(db, {beginClaimsStatement(dialect)}, [&] {
        // A rank stored today (by the window, or by a worker that died before it could say
        // so) needs no scan.
        QSqlQuery stored = prepareOrThrow(
            db, QStringLiteral("UPDATE BatchClaims SET State = 'done' WHERE Day = ? AND %1 AND "
                               "EXISTS (SELECT 1 FROM QuerySort q WHERE q.Web = BatchClaims.Web "
                               "AND q.SearchKey = BatchClaims.SearchKey AND q.SearcherType = "
                               "BatchClaims.SearcherType AND q.QueryDate = BatchClaims.Day)")
                    .arg(claimable(dialect)));
        stored.addBindValue(today);
        execOrThrow(stored);

        // The fewest failures first, so that a query that keeps failing waits for the rest; a
        // keyword and engine that another worker is claiming right now is passed over.
        QSqlQuery groups = prepareOrThrow(
            db, QStringLiteral("SELECT SearchKey, SearcherType FROM BatchClaims WHERE Day = ? "
                               "AND %1 GROUP BY SearchKey, SearcherType "
                               "ORDER BY MIN(Failures), SearchKey, SearcherType")
                    .arg(claimable(dialect)));
        groups.addBindValue(today);
        execOrThrow(groups);
        std::vector<std::pair<QString, int>> candidates;
        while (groups.next())
            candidates.emplace_back(groups.value(0).toString(), groups.value(1).toInt());
        groups.finish();

        std::vector<RankQuery> claimed;
        QSqlQuery lock = prepareOrThrow(db, tryGroupLockQuery(dialect));
        QSqlQuery group = prepareOrThrow(
            db, QStringLiteral("SELECT Web FROM BatchClaims WHERE Day = ? AND SearchKey = ? AND "
                               "SearcherType = ? AND %1 ORDER BY Web%2")
                    .arg(claimable(dialect), skipLockedClause(dialect)));
        for (const auto& [keyword, engine] : candidates) {
            lock.addBindValue(today + QLatin1Char('|') + keyword);
            lock.addBindValue(engine);
            execOrThrow(lock);
            const bool mine = lock.next() && lock.value(0).toBool();
            lock.finish();
            if (!mine)
                continue;
            group.addBindValue(today);
            group.addBindValue(keyword);
            group.addBindValue(engine);
            execOrThrow(group);
            while (group.next())
                claimed.push_back(
                    {qStringToGbk(group.value(0).toString()), qStringToGbk(keyword), engine});
            group.finish();
            if (!claimed.empty())
                break;
        }
        if (claimed.empty())
            return claimed;

        QSqlQuery take = prepareOrThrow(
            db, QStringLiteral("UPDATE BatchClaims SET State = 'claimed', Worker = ?, "
                               "LeaseUntil = %1 + ? WHERE Day = ? AND Web = ? AND SearchKey = ? "
                               "AND SearcherType = ?")
                    .arg(nowSecondsExpression(dialect)));
        for (const RankQuery& q : claimed) {
            take.addBindValue(m_worker);
            take.addBindValue(m_leaseSeconds);
            bindQuery(take, dialect, today, q);
            execOrThrow(take);
        }
        return claimed;
    });
}

void BatchClaims::renew() {
    QSqlDatabase& db = m_database.connection();
    QSqlQuery query = prepareOrThrow(
        db, QStringLiteral("UPDATE BatchClaims SET LeaseUntil = %1 + ? WHERE Day = ? AND "
                           "Worker = ? AND State = 'claimed'")
                .arg(nowSecondsExpression(dialectOf(db))));
    query.addBindValue(m_leaseSeconds);
    query.addBindValue(day());
    query.addBindValue(m_worker);
    execOrThrow(query);
}

void BatchClaims::finish(const RankQuery& query, const QString& assignment,
                         const QVariantList& values) {
    QSqlDatabase& db = m_database.connection();
    QSqlQuery update =
        prepareOrThrow(db, QStringLiteral("UPDATE BatchClaims SET %1 WHERE Day = ? AND Web = ? AND "
                                          "SearchKey = ? AND SearcherType = ?")
                               .arg(assignment));
    for (const QVariant& value : values)
        update.addBindValue(value);
    bindQuery(update, dialectOf(db), day(), query);
    execOrThrow(update);
}

void BatchClaims::done(const RankQuery& query) {
    finish(query, QStringLiteral("State = 'done', Worker = ?"), {m_worker});
}

std::optional<int> BatchClaims::storeDone(const RankQuery& query, int rank, const QString& url,
                                          const LockWait& wait) {
    return m_database.storeRankWaiting(query.site, query.keyword, query.engine, rank, url, wait,
                                       [&] { done(query); });
}

void BatchClaims::release(const RankQuery& query, Outcome outcome, const QString& reason) {
    // The old Failures on the right of each assignment, in both databases.
    finish(query,
           QStringLiteral("Failures = Failures + 1, Blocks = Blocks + ?, LastError = ?, "
                          "Worker = '', LeaseUntil = 0, "
                          "State = CASE WHEN Failures + 1 >= %1 THEN 'failed' ELSE 'open' END")
               .arg(kMaxFailures),
           {outcome == Outcome::Blocked ? 1 : 0, reason});
}

void BatchClaims::giveBack(const RankQuery& query) {
    finish(query, QStringLiteral("State = 'open', Worker = '', LeaseUntil = 0"), {});
}

BatchClaims::Status BatchClaims::status() {
    QSqlDatabase& db = m_database.connection();
    QSqlQuery query = prepareOrThrow(
        db, QStringLiteral("SELECT State, Worker, Failures, Blocks, "
                           "CASE WHEN LeaseUntil < %1 THEN 1 ELSE 0 END FROM BatchClaims "
                           "WHERE Day = ? ORDER BY Worker")
                .arg(nowSecondsExpression(dialectOf(db))));
    query.addBindValue(day());
    execOrThrow(query);
    Status status;
    std::map<QString, int> holders;
    while (query.next()) {
        const QString state = query.value(0).toString();
        const int failures = query.value(2).toInt();
        const int blocks = query.value(3).toInt();
        const bool expired = query.value(4).toInt() != 0;
        if (state == QLatin1String("done"))
            ++status.done;
        else if (state == QLatin1String("failed"))
            ++status.failed;
        else if (state == QLatin1String("claimed") && !expired)
            ++holders[query.value(1).toString()];
        else if (failures == 0)
            ++status.left;
        else if (blocks > 0)
            ++status.blocked;
        else
            ++status.retry;
    }
    status.claimedBy.assign(holders.begin(), holders.end());
    return status;
}
