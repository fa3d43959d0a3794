#include "sender/sendrun.h"

#include "core/statussink.h"
#include "sender/dispenser.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/linewriter.h"

#include <cstdio>
#include <ctime>

namespace {

// The local time as H:mm:ss, without Qt's locale and formatting machinery on every line.
std::string clockText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

} // namespace

THttpThread::THttpThread(SendRun& run) : Window(run), m_tallies(run.m_report.tallies.size()) {
    ResetClient();
    m_thread = std::thread([this] { this->run(); });
}

THttpThread::~THttpThread() {
    if (m_thread.joinable())
        m_thread.join();
}

void THttpThread::ResetClient() {
    Http = std::make_unique<HttpClient>(Window.m_options);
}

void THttpThread::run() {
    try {
        int line = -1;
        auto next = [&] { return Window.m_abort ? Text() : Window.m_dispenser.NextJob(&line); };
        for (Text job = next(); !job.empty(); job = next()) {
            Window.m_status.SetStatusText(job);
            FetchResult result = Http->fetch(job);
            // A success counts once its line is in the log; a line that cannot be written ends
            // the run, which then says why, and the job counts nowhere.
            if (result.ok && !Window.m_log.append(job + "\t" + clockText())) {
                Window.m_abort = true;
                result = {false, FetchFailure::Aborted, result.status};
            }
            if (result.ok)
                ++Window.m_succeeded;
            if (result.failure != FetchFailure::Aborted && line >= 0 &&
                static_cast<size_t>(line) < m_tallies.size())
                m_tallies[static_cast<size_t>(line)].add(result);
            ++Window.m_done;
            ResetClient();
        }
    } catch (...) {
        // An unexpected failure ends this worker quietly; it still counts as ended below.
    }
    Http.reset();
    Window.workerEnded(m_tallies);
}

SendRun::SendRun(Dispenser& dispenser, StatusSink& status, QString logPath, FetchOptions options,
                 int workerCount, QObject* parent, QString reportPath)
    : QObject(parent), m_dispenser(dispenser), m_status(status), m_logPath(std::move(logPath)),
      m_reportPath(std::move(reportPath)), m_log(m_logPath), m_options(std::move(options)) {
    m_options.abort = &m_abort;
    m_report.lines = dispenser.lines();
    m_report.tallies.resize(m_report.lines.size());
    // Counted in full before the first starts, so an early finisher cannot look like the last.
    m_live = workerCount;
    m_ended = workerCount <= 0;
    Workers.reserve(static_cast<size_t>(workerCount));
    try {
        for (int i = 0; i < workerCount; ++i)
            Workers.push_back(std::make_unique<THttpThread>(*this));
    } catch (...) {
        // No thread to be had: the workers made so far end, and nobody waits for the rest.
        m_abort = true;
        m_live -= workerCount - static_cast<int>(Workers.size());
        Workers.clear();
        throw;
    }
}

SendRun::~SendRun() {
    abort();
    Workers.clear(); // joins every worker
}

void SendRun::abort() {
    m_stopRequested = true;
    m_abort = true;
}

SendEnd SendRun::end() const {
    std::lock_guard lock(m_reportLock);
    return m_end;
}

SendReport SendRun::report() const {
    std::lock_guard lock(m_reportLock);
    return m_report;
}

QString SendRun::error() const {
    QString logError = m_log.error();
    if (!logError.isEmpty())
        return logError;
    std::lock_guard lock(m_reportLock);
    return m_reportError;
}

void SendRun::workerEnded(const std::vector<TemplateTally>& tallies) {
    {
        std::lock_guard lock(m_reportLock);
        for (size_t i = 0; i < tallies.size() && i < m_report.tallies.size(); ++i)
            m_report.tallies[i].merge(tallies[i]);
    }
    if (m_live.fetch_sub(1) == 1) {
        // Read before the report's lock: FileLock is never taken under it.
        const bool logFailed = !m_log.error().isEmpty();
        SendEnd end = SendEnd::Finished;
        {
            std::lock_guard lock(m_reportLock);
            if (!m_reportPath.isEmpty()) {
                try {
                    writeSendReport(m_reportPath, m_report);
                } catch (const AppError& e) {
                    m_reportError = e.message();
                } catch (...) {
                    m_reportError = QStringLiteral("Cannot create file %1").arg(m_reportPath);
                }
            }
            // A stop asked for after the last worker ended changes nothing any more.
            if (logFailed || !m_reportError.isEmpty())
                m_end = SendEnd::Failed;
            else if (m_stopRequested)
                m_end = SendEnd::Stopped;
            end = m_end;
        }
        m_ended = true;
        m_status.SetStatusText(end == SendEnd::Finished ? Text(kGbkDone)
                                                        : qStringToGbk(sendEndWord(end)));
        emit finished();
    }
}
