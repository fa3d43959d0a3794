#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A PostgreSQL server of its own for a test: initdb into a temporary folder, started on a free
// loopback port, stopped and removed again by the destructor.
class PgServer {
public:
    PgServer();  // starts the server; on any failure running() is false and skipReason() says why
    ~PgServer(); // stops it (pg_ctl stop -m fast, then immediate if needed) and removes its folder
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;
    bool running() const;
    QString skipReason() const; // empty when running
    int port() const;
    // The login role the tests connect as, and its password (scram-sha-256 over TCP).
    static QString user();     // "moting"
    static QString password(); // a fixed test password
    // A new empty database owned by user(); returns "postgresql://moting@127.0.0.1:<port>/<name>"
    // (the name percent-encoded). Throws std::runtime_error with the server's message on failure.
    QString createDatabase(const QString& name);
    // Runs one SQL statement as the superuser in database dbname (for tests that need to look
    // inside or break things); returns psql's output (tuples only, unaligned) without its final
    // newline. Throws std::runtime_error with psql's message on failure.
    QString psql(const QString& dbname, const QString& sql);

private:
    struct Outcome;

    Outcome run(const QString& program, const QStringList& args, int timeoutMs) const;
    QString tool(const char* name) const;
    QString dataDir() const;
    QString socketDir() const;
    QString serverLog() const;
    QString superuserConninfo(const QString& dbname) const;
    bool fail(const QString& reason);
    bool prepareFolder();
    bool initCluster();
    bool startOnFreePort();
    bool createRole();
    void stopServer() noexcept;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_binDir;
    QString m_runuser; // set when running as root: the programs then run as the postgres user
    QString m_skipReason;
    int m_port = 0;
    bool m_running = false;
};
