#pragma once

#include "store/batchclaims.h"
#include "store/rankquery.h"

#include <QString>
#include <atomic>
#include <functional>

class IniFile;
class PageLoader;
class RankDatabase;
class StatusSink;

// One worker of many on the day's batch list: claims the queries of a keyword and engine at a
// time, scans them, marks each done or gives it back, until none is left, so that workers on
// several machines split one list. Its leases are renewed while it works.
class BatchWorker {
public:
    BatchWorker(StatusSink& status, const IniFile& settings, QString programDir,
                RankDatabase& database, const QString& name);

    // Lists the day's batch queries that are not listed yet.
    void seed();
    // Works until the list is done or interrupted is set; onOutcome sees every query's outcome
    // as it ends, onFileError a scan's failure to keep its pages in "temp.txt" (the ranks
    // stand). A failed write of the claims (the shared database went away) ends the worker with
    // its AppError once the scan under way is done; so does the scan's own error.
    void run(PageLoader& browser, const std::function<void(const RankOutcome&)>& onOutcome,
             const std::function<void(const QString&)>& onFileError,
             const std::atomic<bool>* interrupted);

private:
    StatusSink& m_status;
    const IniFile& m_settings;
    QString m_programDir;
    RankDatabase& m_database;
    int m_lease;
    BatchClaims m_claims;
};
