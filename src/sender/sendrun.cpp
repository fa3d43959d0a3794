#include "sendrun.h"

#include "dispenser.h"
#include "linewriter.h"
#include "statussink.h"

#include <QTime>

namespace {

const Text kDone = "\xCD\xEA\xB3\xC9"; // "完成"

} // namespace

THttpThread::THttpThread(SendRun& run) : Window(run) {
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
        for (Text job = Window.m_abort ? Text() : Window.m_dispenser.NextJob(); !job.empty();
             job = Window.m_abort ? Text() : Window.m_dispenser.NextJob()) {
            Window.m_status.SetStatusText(job);
            if (Http->Fetch(job)) {
                const Text line =
                    job + "\t" + QTime::currentTime().toString("H:mm:ss").toStdString();
                AppendLineToFile(Window.m_logPath, line, false, true);
                ++Window.m_succeeded;
            }
            ++Window.m_done;
            ResetClient();
        }
    } catch (...) {
        // An unexpected failure ends this worker quietly; it still counts as ended below.
    }
    Http.reset();
    Window.workerEnded();
}

SendRun::SendRun(Dispenser& dispenser, StatusSink& status, QString logPath, FetchOptions options,
                 int workerCount, QObject* parent)
    : QObject(parent), m_dispenser(dispenser), m_status(status), m_logPath(std::move(logPath)),
      m_options(options) {
    m_options.abort = &m_abort;
    // Counted in full before the first starts, so an early finisher cannot look like the last.
    m_live = workerCount;
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
    m_abort = true;
}

void SendRun::workerEnded() {
    if (m_live.fetch_sub(1) == 1) {
        m_status.SetStatusText(kDone);
        emit finished();
    }
}
