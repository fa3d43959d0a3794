#pragma once

#include "store/rankquery.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class IniFile;
struct LockWait;
class PageLoader;
class RankDatabase;
class RankScan;
class StatusSink;

// A run of rank queries as both programs make one: the scan over a page loader, each result
// stored in the history, the report collected and the run's error kept. The window shows what
// it collected, the command line prints each outcome as it comes.
class RankRun : public QObject {
    Q_OBJECT

public:
    // stopRequested: set when the program is closing; the run ends after the page under way.
    RankRun(PageLoader& browser, StatusSink& status, const IniFile& settings, QString programDir,
            bool& stopRequested, RankDatabase& database, QObject* parent = nullptr);
    ~RankRun() override;

    // A window lets a person pass a verification page; elsewhere a block ends the query.
    void setSolveBlocks(bool solve);
    // How a finished query's result is written, waiting as wait says while another writer holds
    // the database; returns the rank of the latest earlier day, if any. By default
    // RankDatabase::storeRankWaiting; a batch worker marks the query's claim done with it.
    using Write = std::function<std::optional<int>(
        const RankQuery& query, const QueryResult& result, const LockWait& wait)>;
    void setWrite(Write write);
    // Starts the run and returns at once; finished follows.
    void start(std::vector<RankQuery> queries);
    // Ends the run after the page under way.
    void stop();
    // Ends the run now: the page under way is abandoned.
    void abort();
    // Ends the query whose verification page a person is asked to pass, as blocked.
    void skipVerification();
    // Starts the run and handles events until it has ended; interrupted is looked at while it
    // runs and ends it at once, as abort() does. Returns whether the run was stopped.
    bool exec(std::vector<RankQuery> queries, const std::atomic<bool>* interrupted = nullptr);

    // The report lines of the outcomes so far: ranks, blocks and failures.
    const QString& report() const { return m_report; }
    // A block or a failure is among them.
    bool warns() const { return m_warns; }
    // The error that ended the run (the database's, or a site or keyword it cannot take).
    const QString& error() const { return m_error; }
    // The first failure to keep a page in "temp.txt"; the ranks stand without it.
    QString fileError() const;

signals:
    void progress(int query, int queries, int page);
    void queryFinished(const RankOutcome& outcome);
    // A result has just been stored in the history.
    void stored();
    void verificationNeeded(const QString& engineName);
    void verificationPassed();
    void verificationSkipped();
    void finished(bool stopped);

private:
    void outcome(const RankOutcome& outcome);
    std::optional<int> store(const RankQuery& query, const QueryResult& result);

    RankDatabase& m_database;
    StatusSink& m_status;
    const IniFile& m_settings;
    Write m_write;
    std::unique_ptr<RankScan> m_scan;
    QString m_report;
    bool m_warns = false;
    QString m_error;
};
