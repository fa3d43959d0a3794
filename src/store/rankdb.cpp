#include "store/rankdb.h"

#include "core/datafiles.h"
#include "core/settingkeys.h"
#include "store/sqldialect.h"
#include "text/apperror.h"
#include "text/codepage.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>
#include <algorithm>
#include <atomic>

namespace {

// The Outcome column of a stored rank: only ranks found and sites not found are stored.
QString outcomeText(int rank) {
    return rank > 0 ? QStringLiteral("ranked") : QStringLiteral("not found");
}

// Another copy of the program writing at the same moment is waited for, not failed.
constexpr int kBusyTimeoutMs = 10000;

// A waiting store's tries: short, so that its waiting callback comes round often.
constexpr std::chrono::milliseconds kLockTry{200};

// An empty or missing file becomes a new database; anything else must already be one.
void refuseForeignFile(const QString& path) {
    QFile file(path);
    if (!file.exists() || file.size() == 0)
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file %1").arg(path));
    if (file.read(16) != QByteArray("SQLite format 3\0", 16))
        throw AppError(QStringLiteral("%1 is not an SQLite database (an Access file cannot be "
                                      "read); the file was left as it is")
                           .arg(path));
}

// Characters as SQLite's length() counts them in the stored UTF-8 text: up to the first NUL.
qsizetype storedLength(const Text& text) {
    const QList<uint> chars = gbkToQString(text).toUcs4();
    return std::find(chars.begin(), chars.end(), 0u) - chars.begin();
}

} // namespace

QString rankFieldsError(const Text& site, const Text& keyword) {
    // The checks in the schema's column order: the first that fails names the message.
    if (storedLength(site) > kMaxSiteChars)
        return tooLongMessage(QStringLiteral("网址"), kMaxSiteChars);
    if (storedLength(keyword) > kMaxKeywordChars)
        return tooLongMessage(QStringLiteral("关键词"), kMaxKeywordChars);
    return {};
}

// The schema's checks, made first in its column order, so that both databases name the same
// field (PostgreSQL would check in the order of the checks' names); the schema still holds them.
static void checkFields(const Text& site, const Text& keyword, int engine,
                        std::optional<int> rank) {
    if (const QString error = rankFieldsError(site, keyword); !error.isEmpty())
        throw AppError(error);
    if (engine < 0 || engine > 65535)
        throw AppError(QStringLiteral("Field SearcherType holds whole numbers from 0 to 65535"));
    if (rank && (*rank < -32768 || *rank > 32767))
        throw AppError(QStringLiteral("Field SortNum holds whole numbers from -32768 to 32767"));
}

DatabaseAddress rankDatabaseAddress(const QString& programDir, const IniFile& settings,
                                    const QString& url) {
    const QString address =
        (url.isEmpty() ? gbkToQString(Settings::DatabaseUrl.read(settings)) : url).trimmed();
    if (address.isEmpty())
        return DatabaseAddress::file(programDir + DataFiles::RankDatabase);
    // An address of another form is said when the database is first used.
    return DatabaseAddress::server(address,
                                   gbkToQString(Settings::DatabasePassword.read(settings)));
}

AddressProblem serverAddressProblem(const QString& address) {
    // A connection string of an Access-era file names a file by its own rules; taking it for
    // an address would open something else.
    for (const char* key : {"provider=", "driver=", "data source=", "dbq="})
        if (address.trimmed().startsWith(QLatin1String(key), Qt::CaseInsensitive))
            return AddressProblem::ConnectionString;
    // A password in the address would show in every process list and message: refused in
    // the user part and in the query alike.
    // Read leniently here, so that a malformed address cannot hide one.
    const QUrl lenient(address);
    bool passwordInQuery = false;
    for (const auto& item : QUrlQuery(lenient).queryItems())
        passwordInQuery |= item.first.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0;
    if (!lenient.password().isEmpty() || passwordInQuery)
        return AddressProblem::Password;
    const QUrl url(address, QUrl::StrictMode);
    const QString name = url.path().mid(1);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() ||
        (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")) ||
        url.host().isEmpty() || name.isEmpty() || name.contains(QLatin1Char('/')))
        return AddressProblem::Form;
    return AddressProblem::None;
}

RankDatabase::RankDatabase(const DatabaseAddress& address)
    : m_path(address.isServer() ? QString() : address.path), m_serverUrl(address.url),
      m_password(address.password) {
    static std::atomic<int> counter{0};
    m_name = QStringLiteral("rankdb-%1").arg(++counter);
}

RankDatabase::~RankDatabase() {
    close();
}

QSqlDatabase& RankDatabase::connection() {
    open();
    return m_db;
}

void RankDatabase::open() {
    if (m_db.isOpen())
        return;
    if (!m_serverUrl.isEmpty()) {
        openServer();
        return;
    }
    refuseForeignFile(m_path);
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    m_db.setDatabaseName(m_path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!m_db.open())
        throwSqlError(m_db.lastError());
    try {
        execOrThrow(m_db, schemaStatements(SqlDialect::Sqlite));
        upgrade();
    } catch (...) {
        m_db.close();
        throw;
    }
    // Without it every store, import row and claim scans the whole history. A file that cannot
    // be written now (read-only, or held by another writer) works without it, only slower, and
    // gets it at a later open; a file that has it is not written to.
    QSqlQuery index(m_db);
    index.exec(historyKeyIndexStatement());
}

void RankDatabase::openServer() {
    switch (serverAddressProblem(m_serverUrl)) {
    case AddressProblem::None:
        break;
    case AddressProblem::ConnectionString:
        throw AppError(
            QStringLiteral("A connection string (%1…) is no database address: give "
                           "the folder of its Sort.mdb with --dir, or an address "
                           "of the form postgresql://user@host:port/dbname")
                .arg(m_serverUrl.trimmed().section(QLatin1Char('='), 0, 0) + QLatin1Char('=')));
    case AddressProblem::Password:
        throw AppError(QStringLiteral("The database address holds a password; give it in "
                                      "PGPASSWORD, ~/.pgpass or Setting.ini instead"));
    case AddressProblem::Form:
        throw AppError(QStringLiteral("%1 is no database address of the form "
                                      "postgresql://user@host:port/dbname")
                           .arg(QUrl(m_serverUrl).toString()));
    }
    const QUrl url(m_serverUrl, QUrl::StrictMode);
    const QString name = url.path().mid(1);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        throw AppError(QStringLiteral("Cannot open the database %1: Qt's PostgreSQL driver is "
                                      "not installed (Debian package libqt6sql6-psql)")
                           .arg(m_serverUrl));
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    m_db.setHostName(url.host());
    m_db.setPort(url.port(5432));
    m_db.setDatabaseName(name);
    if (!url.userName().isEmpty())
        m_db.setUserName(url.userName());
    // Without one, the client library looks in PGPASSWORD and ~/.pgpass.
    if (!m_password.isEmpty())
        m_db.setPassword(m_password);
    m_db.setConnectOptions(QStringLiteral("connect_timeout=10;application_name=moting-seo"));
    if (!m_db.open()) {
        const QString reason = m_db.lastError().databaseText().simplified();
        m_db.close();
        throw AppError(QStringLiteral("Cannot open the database %1: %2").arg(m_serverUrl, reason));
    }
    // The first program to connect makes the schema, in one transaction; the others wait for
    // it and find it done. The server's notices (a table that exists already) are no news, and
    // would land on standard error.
    try {
        execOrThrow(m_db, {QStringLiteral("SET client_min_messages = warning")});
        inTransaction(m_db, beginSchemaStatements(SqlDialect::Postgres), [this] {
            execOrThrow(m_db, schemaStatements(SqlDialect::Postgres));
            QSqlQuery version(m_db);
            if (!version.exec(readVersionStatement(SqlDialect::Postgres)) || !version.next())
                throwSqlError(version.lastError());
            if (version.value(0).toInt() < kSchemaVersion)
                execOrThrow(m_db, {writeVersionStatement(SqlDialect::Postgres, kSchemaVersion)});
        });
    } catch (...) {
        m_db.close();
        throw;
    }
}

void RankDatabase::upgrade() {
    auto version = [this] {
        QSqlQuery query(m_db);
        if (!query.exec(readVersionStatement(SqlDialect::Sqlite)) || !query.next())
            throwSqlError(query.lastError());
        return query.value(0).toInt();
    };
    if (version() >= kSchemaVersion)
        return;
    // One writer upgrades; another copy that opens the file meanwhile waits, then finds it done.
    inTransaction(m_db, beginSchemaStatements(SqlDialect::Sqlite), [&] {
        if (version() < 1) {
            QSqlQuery columns(m_db);
            if (!columns.exec(QStringLiteral("PRAGMA table_info(QuerySort)")))
                throwSqlError(columns.lastError());
            QStringList names;
            while (columns.next())
                names << columns.value(1).toString();
            const char* const steps[] = {
                names.contains(QStringLiteral("Url"))
                    ? nullptr
                    : "ALTER TABLE QuerySort ADD COLUMN Url TEXT NOT NULL DEFAULT ''",
                names.contains(QStringLiteral("Outcome"))
                    ? nullptr
                    : "ALTER TABLE QuerySort ADD COLUMN Outcome TEXT NOT NULL DEFAULT ''",
                // Rows stored before: a rank above 0 was found, 0 was not.
                "UPDATE QuerySort SET Outcome = CASE WHEN SortNum > 0 THEN 'ranked' "
                "ELSE 'not found' END WHERE Outcome = ''",
            };
            for (const char* step : steps) {
                QSqlQuery query(m_db);
                if (step && !query.exec(QString::fromUtf8(step)))
                    throwSqlError(query.lastError());
            }
            execOrThrow(m_db, {writeVersionStatement(SqlDialect::Sqlite, 1)});
        }
    });
}

void RankDatabase::close() {
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

std::optional<int> RankDatabase::StoreRank(const Text& site, const Text& keyword, int engine,
                                           int rank, const QString& url) {
    return storeRankWaiting(site, keyword, engine, rank, url, LockWait{});
}

std::optional<int> RankDatabase::storeRankWaiting(const Text& site, const Text& keyword, int engine,
                                                  int rank, const QString& url,
                                                  const LockWait& wait,
                                                  const std::function<void()>& alongside) {
    checkFields(site, keyword, engine, rank);
    if (wait.limit <= std::chrono::milliseconds::zero())
        return storeRankOnce(site, keyword, engine, rank, url, 0, alongside);
    const QDeadlineTimer deadline(wait.limit);
    for (;;) {
        // Never 0: a server would take it for no limit at all.
        const auto left = std::clamp<qint64>(deadline.remainingTime(), 1, kLockTry.count());
        try {
            return storeRankOnce(site, keyword, engine, rank, url, static_cast<int>(left),
                                 alongside);
        } catch (const DatabaseBusy&) {
            if (deadline.hasExpired())
                throw;
        }
        if (wait.waiting)
            wait.waiting();
    }
}

std::optional<int> RankDatabase::storeRankOnce(const Text& site, const Text& keyword, int engine,
                                               int rank, const QString& url, int lockWaitMs,
                                               const std::function<void()>& alongside) {
    QSqlDatabase& db = connection();
    const SqlDialect dialect = dialectOf(db);
    // The file's own time-out again for everything else this connection does.
    struct RestoreBusyTimeout {
        QSqlDatabase& db;
        bool set;
        ~RestoreBusyTimeout() {
            if (set)
                QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kBusyTimeoutMs));
        }
    } restore{db, lockWaitMs > 0 && dialect == SqlDialect::Sqlite};
    // Take the write lock at the start: a transaction that reads first and then wants to write
    // is refused at once when another connection writes, instead of waiting its turn.
    const QString siteText = boundText(dialect, gbkToQString(site));
    const QString keywordText = boundText(dialect, gbkToQString(keyword));
    return inTransaction(db, beginWriteStatements(dialect, lockWaitMs), [&] {
        const QString day = m_today().toString(Qt::ISODate);
        QSqlQuery earlier = prepareOrThrow(
            db, QStringLiteral("SELECT id FROM QuerySort WHERE Web = ? AND SearchKey = ? "
                               "AND SearcherType = ? AND QueryDate = ? ORDER BY id LIMIT 1"));
        earlier.addBindValue(siteText);
        earlier.addBindValue(keywordText);
        earlier.addBindValue(engine);
        earlier.addBindValue(day);
        execOrThrow(earlier);
        if (earlier.next()) {
            QSqlQuery remove =
                prepareOrThrow(db, QStringLiteral("DELETE FROM QuerySort WHERE id = ?"));
            remove.addBindValue(earlier.value(0));
            execOrThrow(remove);
        }
        std::optional<int> previous;
        QSqlQuery before = prepareOrThrow(
            db, QStringLiteral("SELECT SortNum FROM QuerySort WHERE Web = ? AND SearchKey = ? "
                               "AND SearcherType = ? AND QueryDate < ? "
                               "ORDER BY QueryDate DESC, id DESC LIMIT 1"));
        before.addBindValue(siteText);
        before.addBindValue(keywordText);
        before.addBindValue(engine);
        before.addBindValue(day);
        execOrThrow(before);
        if (before.next())
            previous = before.value(0).toInt();
        QSqlQuery insert = prepareOrThrow(
            db, QStringLiteral("INSERT INTO QuerySort (Web, SearchKey, SearcherType, SortNum, "
                               "QueryDate, Url, Outcome) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        insert.addBindValue(siteText);
        insert.addBindValue(keywordText);
        insert.addBindValue(engine);
        insert.addBindValue(rank);
        insert.addBindValue(day);
        // A null text would go in as NULL.
        insert.addBindValue(url.isNull() ? QStringLiteral("") : url);
        insert.addBindValue(outcomeText(rank));
        execOrThrow(insert);
        if (alongside)
            alongside();
        return previous;
    });
}

void RankDatabase::deleteRank(qint64 id) {
    QSqlQuery query =
        prepareOrThrow(connection(), QStringLiteral("DELETE FROM QuerySort WHERE id = ?"));
    query.addBindValue(id);
    execOrThrow(query);
}

std::vector<RankDatabase::HistoryRow> RankDatabase::historyRows(int limit) {
    QSqlQuery query =
        prepareOrThrow(connection(), QStringLiteral("SELECT id, Web, SearchKey, SearcherType, "
                                                    "SortNum, QueryDate, Url FROM QuerySort "
                                                    "ORDER BY id DESC LIMIT ?"));
    query.addBindValue(limit);
    execOrThrow(query);
    std::vector<HistoryRow> rows;
    while (query.next())
        rows.push_back({query.value(0).toLongLong(), qStringToGbk(query.value(1).toString()),
                        qStringToGbk(query.value(2).toString()), query.value(3).toInt(),
                        query.value(4).toInt(),
                        QDate::fromString(query.value(5).toString(), Qt::ISODate),
                        query.value(6).toString()});
    return rows;
}

std::vector<RankDatabase::TrendRow> RankDatabase::trendRows(const Text& site, const Text& keyword) {
    QSqlDatabase& db = connection();
    QSqlQuery query =
        prepareOrThrow(db, QStringLiteral("SELECT SearcherType, QueryDate, SortNum FROM QuerySort "
                                          "WHERE Web = ? AND SearchKey = ? "
                                          "ORDER BY SearcherType, QueryDate, id"));
    query.addBindValue(boundText(dialectOf(db), gbkToQString(site)));
    query.addBindValue(boundText(dialectOf(db), gbkToQString(keyword)));
    execOrThrow(query);
    std::vector<TrendRow> rows;
    while (query.next())
        rows.push_back({query.value(0).toInt(),
                        QDate::fromString(query.value(1).toString(), Qt::ISODate),
                        query.value(2).toInt()});
    return rows;
}

RankDatabase::ImportCount RankDatabase::importRows(const std::vector<HistoryRow>& rows) {
    QSqlDatabase& db = connection();
    return inTransaction(db, beginWriteStatements(dialectOf(db)), [&] {
        ImportCount count;
        QSqlQuery exists = prepareOrThrow(
            db, QStringLiteral("SELECT 1 FROM QuerySort WHERE Web = ? AND SearchKey = ? "
                               "AND SearcherType = ? AND QueryDate = ? LIMIT 1"));
        QSqlQuery insert = prepareOrThrow(
            db, QStringLiteral("INSERT INTO QuerySort (Web, SearchKey, SearcherType, SortNum, "
                               "QueryDate, Url, Outcome) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        for (const HistoryRow& row : rows) {
            checkFields(row.site, row.keyword, row.engine, row.rank);
            const QString site = boundText(dialectOf(db), gbkToQString(row.site));
            const QString keyword = boundText(dialectOf(db), gbkToQString(row.keyword));
            const QString day = row.day.toString(Qt::ISODate);
            exists.addBindValue(site);
            exists.addBindValue(keyword);
            exists.addBindValue(row.engine);
            exists.addBindValue(day);
            execOrThrow(exists);
            const bool stored = exists.next();
            exists.finish();
            if (stored) {
                ++count.kept;
                continue;
            }
            insert.addBindValue(site);
            insert.addBindValue(keyword);
            insert.addBindValue(row.engine);
            insert.addBindValue(row.rank);
            insert.addBindValue(day);
            insert.addBindValue(row.url.isNull() ? QStringLiteral("") : row.url);
            insert.addBindValue(outcomeText(row.rank));
            execOrThrow(insert);
            ++count.added;
        }
        return count;
    });
}

std::vector<RankDatabase::BatchRow> RankDatabase::batchRows() {
    QSqlQuery query = prepareOrThrow(
        connection(), QStringLiteral("SELECT id, Web, SearchKey, SearcherType FROM BatchQuery "
                                     "ORDER BY id"));
    execOrThrow(query);
    std::vector<BatchRow> rows;
    while (query.next())
        rows.push_back({query.value(0).toLongLong(), qStringToGbk(query.value(1).toString()),
                        qStringToGbk(query.value(2).toString()), query.value(3).toInt()});
    return rows;
}

void RankDatabase::insertBatch(const Text& site, const Text& keyword, int code) {
    checkFields(site, keyword, code, std::nullopt);
    QSqlDatabase& db = connection();
    QSqlQuery query = prepareOrThrow(db, QStringLiteral("INSERT INTO BatchQuery (Web, SearchKey, "
                                                        "SearcherType) VALUES (?, ?, ?)"));
    query.addBindValue(boundText(dialectOf(db), gbkToQString(site)));
    query.addBindValue(boundText(dialectOf(db), gbkToQString(keyword)));
    query.addBindValue(code);
    execOrThrow(query);
}

void RankDatabase::deleteBatch(qint64 id) {
    QSqlQuery query =
        prepareOrThrow(connection(), QStringLiteral("DELETE FROM BatchQuery WHERE id = ?"));
    query.addBindValue(id);
    execOrThrow(query);
}
