#include "store/sqldialect.h"

#include "text/apperror.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// The column limits live in the schema; each constraint's name is the message the user sees
// when a value breaks it (a too long text in the user's words, see userMessageOfError). The
// names stay as release 1.0 wrote them into its files.
#define MT_SITE_AND_KEYWORD                                                                        \
    "Web TEXT NOT NULL "                                                                           \
    "CONSTRAINT \"Field Web holds at most 200 characters\" CHECK (length(Web) <= 200), "           \
    "SearchKey TEXT NOT NULL "                                                                     \
    "CONSTRAINT \"Field SearchKey holds at most 30 characters\" CHECK (length(SearchKey) <= "      \
    "30), "                                                                                        \
    "SearcherType INTEGER NOT NULL "                                                               \
    "CONSTRAINT \"Field SearcherType holds whole numbers from 0 to 65535\" "                       \
    "CHECK (SearcherType BETWEEN 0 AND 65535)"

#define MT_SORT_NUM                                                                                \
    "SortNum INTEGER NOT NULL "                                                                    \
    "CONSTRAINT \"Field SortNum holds whole numbers from -32768 to 32767\" "                       \
    "CHECK (SortNum BETWEEN -32768 AND 32767)"

// One row per batch query and day: open, claimed (by Worker until LeaseUntil, in the server's
// seconds), done, or failed (after BatchClaims::kMaxFailures blocked or failed scans that day).
#define MT_CLAIMS_COLUMNS                                                                          \
    "Day TEXT NOT NULL, Web TEXT NOT NULL, SearchKey TEXT NOT NULL, "                              \
    "SearcherType INTEGER NOT NULL, State TEXT NOT NULL DEFAULT 'open', "                          \
    "Worker TEXT NOT NULL DEFAULT '', LeaseUntil BIGINT NOT NULL DEFAULT 0, "                      \
    "Failures INTEGER NOT NULL DEFAULT 0, Blocks INTEGER NOT NULL DEFAULT 0, "                     \
    "LastError TEXT NOT NULL DEFAULT '', "                                                         \
    "PRIMARY KEY (Day, Web, SearchKey, SearcherType)"

constexpr char kHistoryKeyIndex[] = "CREATE INDEX IF NOT EXISTS QuerySortKey ON QuerySort "
                                    "(Web, SearchKey, SearcherType, QueryDate)";

const char* const kSqliteSchema[] = {
    "CREATE TABLE IF NOT EXISTS QuerySort (id INTEGER PRIMARY KEY AUTOINCREMENT, " //
    MT_SITE_AND_KEYWORD ", " MT_SORT_NUM ", "
    "QueryDate TEXT NOT NULL DEFAULT (date('now', 'localtime')))",
    "CREATE TABLE IF NOT EXISTS BatchQuery (id INTEGER PRIMARY KEY AUTOINCREMENT, " //
    MT_SITE_AND_KEYWORD ")",
    "CREATE TABLE IF NOT EXISTS BatchClaims (" MT_CLAIMS_COLUMNS ")",
};

const char* const kPostgresSchema[] = {
    "CREATE TABLE IF NOT EXISTS QuerySort (id BIGSERIAL PRIMARY KEY, " //
    MT_SITE_AND_KEYWORD ", " MT_SORT_NUM ", "
    "QueryDate TEXT NOT NULL DEFAULT to_char(CURRENT_DATE, 'YYYY-MM-DD'), "
    "Url TEXT NOT NULL DEFAULT '', Outcome TEXT NOT NULL DEFAULT '')",
    kHistoryKeyIndex,
    "CREATE TABLE IF NOT EXISTS BatchQuery (id BIGSERIAL PRIMARY KEY, " //
    MT_SITE_AND_KEYWORD ")",
    "CREATE TABLE IF NOT EXISTS BatchClaims (" MT_CLAIMS_COLUMNS ")",
    "CREATE TABLE IF NOT EXISTS SchemaVersion (Version INTEGER NOT NULL)",
};

#undef MT_SITE_AND_KEYWORD
#undef MT_SORT_NUM
#undef MT_CLAIMS_COLUMNS

// Any number that the program's own schema transaction alone takes as its lock.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7306521)";

QStringList toList(const auto& statements) {
    QStringList list;
    for (const char* statement : statements)
        list << QString::fromUtf8(statement);
    return list;
}

} // namespace

SqlDialect dialectOf(const QSqlDatabase& db) {
    return db.driver() && db.driver()->dbmsType() == QSqlDriver::PostgreSQL ? SqlDialect::Postgres
                                                                            : SqlDialect::Sqlite;
}

QStringList schemaStatements(SqlDialect dialect) {
    return dialect == SqlDialect::Postgres ? toList(kPostgresSchema) : toList(kSqliteSchema);
}

QStringList beginWriteStatements(SqlDialect dialect, int lockWaitMs) {
    if (dialect == SqlDialect::Postgres) {
        QStringList statements{QStringLiteral("BEGIN")};
        // Without it the server waits for a lock as long as it is held.
        if (lockWaitMs > 0)
            statements << QStringLiteral("SET LOCAL lock_timeout = %1").arg(lockWaitMs);
        // Conflicts with itself, not with readers: one writer of the history at a time.
        return statements << QStringLiteral("LOCK TABLE QuerySort IN SHARE ROW EXCLUSIVE MODE");
    }
    QStringList statements;
    if (lockWaitMs > 0)
        statements << QStringLiteral("PRAGMA busy_timeout = %1").arg(lockWaitMs);
    return statements << QStringLiteral("BEGIN IMMEDIATE");
}

QString historyKeyIndexStatement() {
    return QString::fromUtf8(kHistoryKeyIndex);
}

QString beginClaimsStatement(SqlDialect dialect) {
    return dialect == SqlDialect::Postgres ? QStringLiteral("BEGIN")
                                           : QStringLiteral("BEGIN IMMEDIATE");
}

QStringList beginSchemaStatements(SqlDialect dialect) {
    if (dialect == SqlDialect::Postgres)
        return {QStringLiteral("BEGIN"), QString::fromUtf8(kSchemaLock)};
    return {QStringLiteral("BEGIN IMMEDIATE")};
}

QString skipLockedClause(SqlDialect dialect) {
    return dialect == SqlDialect::Postgres ? QStringLiteral(" FOR UPDATE SKIP LOCKED") : QString();
}

QString tryGroupLockQuery(SqlDialect dialect) {
    return dialect == SqlDialect::Postgres
               ? QStringLiteral("SELECT pg_try_advisory_xact_lock(hashtext(CAST(? AS TEXT)), "
                                "CAST(? AS INTEGER))")
               : QStringLiteral("SELECT CAST(? AS TEXT) IS NOT NULL AND CAST(? AS INTEGER) IS "
                                "NOT NULL");
}

QString nowSecondsExpression(SqlDialect dialect) {
    return dialect == SqlDialect::Postgres
               ? QStringLiteral("CAST(EXTRACT(EPOCH FROM clock_timestamp()) AS BIGINT)")
               : QStringLiteral("CAST(strftime('%s', 'now') AS INTEGER)");
}

QString readVersionStatement(SqlDialect dialect) {
    return dialect == SqlDialect::Postgres
               ? QStringLiteral("SELECT COALESCE(MAX(Version), 0) FROM SchemaVersion")
               : QStringLiteral("PRAGMA user_version");
}

QString writeVersionStatement(SqlDialect dialect, int version) {
    if (dialect == SqlDialect::Postgres)
        return QStringLiteral("INSERT INTO SchemaVersion (Version) VALUES (%1)").arg(version);
    return QStringLiteral("PRAGMA user_version = %1").arg(version);
}

QString userMessageOfError(const QString& databaseText) {
    static const QRegularExpression check(QStringLiteral(
        R"re(CHECK constraint failed: (.*)$|violates check constraint "([^"]*)")re"));
    const QRegularExpressionMatch match = check.match(databaseText);
    if (!match.hasMatch())
        return databaseText;
    QString name = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    if (name == QLatin1String("Field Web holds at most 200 characters"))
        return tooLongMessage(QStringLiteral("网址"), 200);
    if (name == QLatin1String("Field SearchKey holds at most 30 characters"))
        return tooLongMessage(QStringLiteral("关键词"), 30);
    return name;
}

QString tooLongMessage(const QString& field, int limit) {
    // The error report adds the full stop.
    return QStringLiteral("%1最多 %2 个字符").arg(field).arg(limit);
}

QString boundText(SqlDialect dialect, const QString& text) {
    if (dialect != SqlDialect::Postgres)
        return text;
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

bool isLockError(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    // SQLite: SQLITE_BUSY, SQLITE_LOCKED and their extended codes. PostgreSQL: lock_not_available
    // (lock_timeout), deadlock_detected, serialization_failure.
    bool isNumber = false;
    const int sqlite = code.toInt(&isNumber);
    if (isNumber)
        return (sqlite & 0xff) == 5 || (sqlite & 0xff) == 6;
    if (code.isEmpty())
        // A failed COMMIT comes without the code: SQLite's own words for the two.
        return error.databaseText().startsWith(QLatin1String("database is locked")) ||
               error.databaseText().startsWith(QLatin1String("database table is locked"));
    return code == QLatin1String("55P03") || code == QLatin1String("40P01") ||
           code == QLatin1String("40001");
}

void throwSqlError(const QSqlError& error) {
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (isLockError(error))
        throw DatabaseBusy(userMessageOfError(text.trimmed()));
    throw AppError(userMessageOfError(text.trimmed()));
}

void execOrThrow(QSqlQuery& query) {
    if (!query.exec())
        throwSqlError(query.lastError());
}

QSqlQuery prepareOrThrow(QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.prepare(sql))
        throwSqlError(query.lastError());
    return query;
}

void execOrThrow(QSqlDatabase& db, const QStringList& statements) {
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement))
            throwSqlError(query.lastError());
    }
}
