#pragma once

#include "httpfetch.h"
#include "text.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class Dispenser;
class SendRun;
class StatusSink;

// One fetch's client: made fresh for every job, so nothing passes from one job to the next.
class HttpClient {
public:
    explicit HttpClient(const FetchOptions& options) : m_options(options) {}
    bool Fetch(const Text& url) const { return FetchUrl(url, m_options); }

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
    std::thread m_thread;
};

// A send run: its workers, what they have done, and the end. The object owns its workers;
// destroying it aborts what is in flight and waits for every worker to end.
class SendRun : public QObject {
    Q_OBJECT

public:
    SendRun(Dispenser& dispenser, StatusSink& status, QString logPath, FetchOptions options,
            int workerCount, QObject* parent = nullptr);
    ~SendRun() override;

    // Workers fetch nothing more; fetches under way give up at once.
    void abort();

    int jobsDone() const { return m_done.load(); }
    int jobsSucceeded() const { return m_succeeded.load(); }
    bool isFinished() const { return m_live.load() == 0; }

signals:
    // From the thread of the worker that ended last, after "完成" was shown.
    void finished();

private:
    friend class THttpThread;
    void workerEnded();

    Dispenser& m_dispenser;
    StatusSink& m_status;
    const QString m_logPath;
    FetchOptions m_options;
    std::atomic<bool> m_abort{false};
    std::atomic<int> m_live{0};
    std::atomic<int> m_done{0};
    std::atomic<int> m_succeeded{0};
    std::vector<std::unique_ptr<THttpThread>> Workers;
};
