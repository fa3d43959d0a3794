#pragma once

#include "store/ranktrend.h"
#include "text/text.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

// The longest site and keyword a rank row holds, in characters, as the file's checks count them.
inline constexpr int kMaxSiteChars = 200;
inline constexpr int kMaxKeywordChars = 30;

// The message the database refuses a rank of this site and keyword with when one is too long
// for its field; empty when both fit. A run checks its queries with it before any page loads.
QString rankFieldsError(const Text& site, const Text& keyword);

// Where the rank database is: a file ("Sort.mdb", SQLite), or a shared server's postgresql://
// address with the password when one is given (else PGPASSWORD or ~/.pgpass supply it). A
// server's address is checked when the database is first used.
struct DatabaseAddress {
    QString path;     // the file; empty for a server
    QString url;      // the server's address, no password in it
    QString password; // never shown

    static DatabaseAddress file(const QString& path) { return {path, {}, {}}; }
    static DatabaseAddress server(const QString& url, const QString& password = {}) {
        return {{}, url, password};
    }
    bool isServer() const { return !url.isEmpty(); }
};

// How a write waits while another writer holds the database: up to limit in all, in short
// tries; waiting is called between them (to say so, and to let the window go on). A limit of 0
// tries once, waiting as the database does by itself (an SQLite file 10 s, a server as long as
// the lock is held).
struct LockWait {
    std::chrono::milliseconds limit{0};
    std::function<void()> waiting;
};

// What keeps an address from naming a shared database, found before any connection is tried:
// an Access-era connection string, a password in the address, or another form than
// postgresql://user@host:port/dbname.
enum class AddressProblem { None, ConnectionString, Password, Form };
AddressProblem serverAddressProblem(const QString& address);

class IniFile;
// The rank database of a program folder: url when given, else [Database] Url of its settings,
// else its "Sort.mdb"; the password of a shared one from [Database] Password, if any.
DatabaseAddress rankDatabaseAddress(const QString& programDir, const IniFile& settings,
                                    const QString& url = {});

// The rank database: "Sort.mdb", an SQLite file, or a shared PostgreSQL database, with the
// tables QuerySort (the rank history), BatchQuery (the standing batch list) and BatchClaims (the
// day's batch queries as workers share them out). Every object holds its own connection, as each
// data set of the window does; a missing or empty file gets both tables, and a file of an
// earlier release gets the newer columns in place (its version is PRAGMA user_version). A
// file that is no SQLite database is refused and left as it is. Texts are GBK outside, UTF-8
// in the file; values travel as bound parameters. Errors throw AppError with a message for
// the user.
class RankDatabase {
public:
    // The file's layout: 0 as release 1.0 made it; 1 adds QuerySort.Url and .Outcome.
    static constexpr int kSchemaVersion = 1;

    explicit RankDatabase(const DatabaseAddress& address);
    ~RankDatabase();
    RankDatabase(const RankDatabase&) = delete;
    RankDatabase& operator=(const RankDatabase&) = delete;

    // The file's path; empty for a shared database.
    const QString& path() const { return m_path; }
    // Opened on first use; close() lets go of the file until the next use.
    QSqlDatabase& connection();
    void close();

    // The day a rank is stored for; tests set their own.
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }
    QDate today() const { return m_today(); }

    // One row per site, keyword, engine and day: the day's earlier row goes, the new one gets
    // the newest id. url: the destination that ranked, if known. Returns the rank stored for
    // the same site, keyword and engine on the latest earlier day, if any.
    std::optional<int> StoreRank(const Text& site, const Text& keyword, int engine, int rank,
                                 const QString& url = {});
    // The same, waiting as wait says while another writer holds the database, and with
    // alongside's writes (a batch claim marked done) in the rank's transaction: all or none.
    // The last try's error passes on: DatabaseBusy when the lock outlasted the wait.
    std::optional<int> storeRankWaiting(const Text& site, const Text& keyword, int engine, int rank,
                                        const QString& url, const LockWait& wait,
                                        const std::function<void()>& alongside = {});
    void deleteRank(qint64 id);

    struct HistoryRow {
        qint64 id;
        Text site;
        Text keyword;
        int engine;
        int rank;
        QDate day;
        QString url;
    };
    // The newest rows first.
    std::vector<HistoryRow> historyRows(int limit);

    using TrendRow = ::TrendRow;
    // Every stored result of a site and keyword, by engine, then day.
    std::vector<TrendRow> trendRows(const Text& site, const Text& keyword);

    struct ImportCount {
        int added = 0;
        int kept = 0; // a row for the same site, keyword, engine and day was there already
    };
    // Adds rows of another history (their ids are ignored) in one transaction: all or none.
    // A stored row is never replaced, and a row given twice goes in once.
    ImportCount importRows(const std::vector<HistoryRow>& rows);

    struct BatchRow {
        qint64 id;
        Text site;
        Text keyword;
        int code; // 0 all engines, 1-3 engine index + 1
    };
    // In the order the rows were added.
    std::vector<BatchRow> batchRows();
    void insertBatch(const Text& site, const Text& keyword, int code);
    void deleteBatch(qint64 id);

private:
    void open();
    void openServer();
    void upgrade();
    std::optional<int> storeRankOnce(const Text& site, const Text& keyword, int engine, int rank,
                                     const QString& url, int lockWaitMs,
                                     const std::function<void()>& alongside);

    QString m_path;
    QString m_serverUrl;
    QString m_password;
    QString m_name;
    QSqlDatabase m_db;
    std::function<QDate()> m_today = [] { return QDate::currentDate(); };
};
