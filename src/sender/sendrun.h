#pragma once

#include "sender/folderlock.h"
#include "sender/httpfetch.h"
#include "sender/sendreport.h"
#include "text/linewriter.h"
#include "text/text.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Dispenser;
class SendRun;
class StatusSink;

// One fetch's client: made fresh for every job, so nothing passes from one job to the next.
class HttpClient {
public:
    explicit HttpClient(const FetchOptions& options) : m_options(options) {}
    FetchResult fetch(const Text& url) const { return fetchOnce(url, m_options); }

private:
    FetchOptions m_options;
};

// A send worker: takes jobs from the dispenser until none is left, fetches each, logs each
// success.
class THttpThread {
public:
    explicit THttpThread(SendRun& run);
    ~THttpThread();
    THttpThread(const THttpThread&) = delete;
    THttpThread& operator=(const THttpThread&) = delete;

    void ResetClient();

private:
    void run();

    SendRun& Window;
    std::unique_ptr<HttpClient> Http;
    // This worker's own account, by template line; merged into the run's when it ends.
    std::vector<TemplateTally> m_tallies;
    std::thread m_thread;
};

// A send run: its workers, what they have done, and the end. The object owns its workers;
// destroying it aborts what is in flight and waits for every worker to end.
class SendRun : public QObject {
    Q_OBJECT

public:
    // reportPath: where "SendReport.csv" goes when the run ends; empty for none.
    SendRun(Dispenser& dispenser, StatusSink& status, QString logPath, FetchOptions options,
            int workerCount, QObject* parent = nullptr, QString reportPath = {});
    ~SendRun() override;

    // Workers fetch nothing more; fetches under way give up at once. What was logged stays, the
    // report counts what was done, and the run ends as stopped.
    void abort();
    // Kept until the run is destroyed, after its workers have ended.
    void holdUntilEnd(std::unique_ptr<FolderLock> lock) { m_folderLock = std::move(lock); }

    int jobsDone() const { return m_done.load(); }
    int jobsSucceeded() const { return m_succeeded.load(); }
    // Every worker has ended and the report is written.
    bool isFinished() const { return m_ended.load(); }
    // By template line; complete once the run has finished. Fetches given up because the run
    // was aborted count nowhere.
    SendReport report() const;
    // How the run ended; meant once it has finished.
    SendEnd end() const;
    // Why the run failed: a line of the log or the report could not be written (the run ends at
    // the first log line that fails); empty when everything was written.
    QString error() const;

signals:
    // From the thread of the worker that ended last, after "完成" was shown.
    void finished();

private:
    friend class THttpThread;
    void workerEnded(const std::vector<TemplateTally>& tallies);

    Dispenser& m_dispenser;
    StatusSink& m_status;
    const QString m_logPath;
    const QString m_reportPath;
    AppendLog m_log;
    FetchOptions m_options;
    std::atomic<bool> m_abort{false};
    // abort() was asked for, as opposed to a worker giving up on a log it cannot write.
    std::atomic<bool> m_stopRequested{false};
    std::atomic<int> m_live{0};
    std::atomic<bool> m_ended{false};
    std::atomic<int> m_done{0};
    std::atomic<int> m_succeeded{0};
    std::unique_ptr<FolderLock> m_folderLock; // goes after the workers, declared before them
    std::vector<std::unique_ptr<THttpThread>> Workers;
    // Guards the report and its error; taken by each worker once, as it ends.
    mutable std::mutex m_reportLock;
    SendReport m_report;
    QString m_reportError;
    SendEnd m_end = SendEnd::Finished;
};
