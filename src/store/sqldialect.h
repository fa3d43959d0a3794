#pragma once

#include "text/apperror.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <type_traits>

// The two databases the rank history can live in: "Sort.mdb" (SQLite, one machine) and a shared
// PostgreSQL server. Every query of the program is the same text for both; what they say
// differently is here, and only here.
enum class SqlDialect { Sqlite, Postgres };

SqlDialect dialectOf(const QSqlDatabase& db);

// The tables, created when missing: QuerySort (the rank history), BatchQuery (the standing
// batch list) and BatchClaims (which worker has which of the day's batch queries). SQLite's
// QuerySort is created as release 1.0 made it and upgraded by RankDatabase; PostgreSQL's is
// created in its newest form.
QStringList schemaStatements(SqlDialect dialect);

// Opens a transaction that holds the history's write lock from its start, so that a writer
// that reads first never loses its turn to another (SQLite's BEGIN IMMEDIATE). lockWaitMs,
// when above 0: how long it waits for another writer's lock before it fails with DatabaseBusy
// (on SQLite until the connection's busy time-out is set back).
QStringList beginWriteStatements(SqlDialect dialect, int lockWaitMs = 0);

// The index that finds a site, keyword, engine and day among the history's rows: a store, an
// import and the claims look rows up by it.
QString historyKeyIndexStatement();

// Opens a transaction for the claims table, where rows are locked one by one.
QString beginClaimsStatement(SqlDialect dialect);

// Opens the transaction in which the first program to connect creates and upgrades the schema;
// others wait for it and then find it done.
QStringList beginSchemaStatements(SqlDialect dialect);

// Appended to a SELECT of claims rows: rows another worker holds locked are passed over.
// SQLite has one writer at a time, so there is nothing to pass over.
QString skipLockedClause(SqlDialect dialect);

// A query of one boolean: whether this transaction now holds the lock of the group its two
// values name (a day and keyword, an engine) until it ends; false when another holds it. Rows
// are locked one by one, and two workers that each locked some rows of one keyword would both
// scan it. SQLite has one writer at a time: always true.
QString tryGroupLockQuery(SqlDialect dialect);

// The database server's clock in whole seconds since 1970: leases are judged by one clock,
// whatever the workers' clocks say.
QString nowSecondsExpression(SqlDialect dialect);

// The schema's version: SQLite keeps it in the file's header, PostgreSQL in a table.
QString readVersionStatement(SqlDialect dialect);
QString writeVersionStatement(SqlDialect dialect, int version);

// The user's message in a database error: for a CHECK constraint a value broke, the message
// its name stands for (the schema names each after its message), else the database's own text.
QString userMessageOfError(const QString& databaseText);

// A site or keyword longer than its column holds, as the user reads it: the field by the name
// the window gives it ("网址", "关键词") and its limit in characters.
QString tooLongMessage(const QString& field, int limit);

// A text as it is bound to a statement: PostgreSQL's texts hold no NUL, so one there ends the
// text, as it ends it for SQLite's own functions (length() and the column checks).
QString boundText(SqlDialect dialect, const QString& text);

class QSqlQuery;

// Another writer held the database longer than the statement would wait (SQLite's "database is
// locked", a PostgreSQL lock time-out or deadlock): the same write may succeed when tried again.
class DatabaseBusy : public AppError {
public:
    using AppError::AppError;
};

bool isLockError(const QSqlError& error);

// Statements that fail throw AppError with userMessageOfError's text (DatabaseBusy for a lock).
[[noreturn]] void throwSqlError(const QSqlError& error);
void execOrThrow(QSqlQuery& query);
QSqlQuery prepareOrThrow(QSqlDatabase& db, const QString& sql);
void execOrThrow(QSqlDatabase& db, const QStringList& statements);

// Runs work in a transaction that the statements begin open: committed when work returns (with
// what it returns), rolled back when it throws (and the error passed on).
template <typename Work>
auto inTransaction(QSqlDatabase& db, const QStringList& begin, Work&& work) {
    bool open = false;
    for (const QString& statement : begin) {
        try {
            execOrThrow(db, {statement});
        } catch (...) {
            // A statement after BEGIN (a lock it waited for too long) leaves the transaction
            // open and failed: the next one on this connection would fail with it.
            if (open)
                db.rollback();
            throw;
        }
        open |= statement.startsWith(QLatin1String("BEGIN"));
    }
    try {
        auto commit = [&db] {
            if (!db.commit())
                throwSqlError(db.lastError());
        };
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            commit();
        } else {
            auto result = work();
            commit();
            return result;
        }
    } catch (...) {
        db.rollback();
        throw;
    }
}
