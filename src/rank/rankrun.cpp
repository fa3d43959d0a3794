#include "rank/rankrun.h"

#include "rank/rankscan.h"
#include "rank/reportlines.h"
#include "store/rankdb.h"

#include <QEventLoop>
#include <QTimer>

RankRun::RankRun(PageLoader& browser, StatusSink& status, const IniFile& settings,
                 QString programDir, bool& stopRequested, RankDatabase& database, QObject* parent)
    : QObject(parent), m_database(database) {
    m_scan = std::make_unique<RankScan>(
        browser, status, settings, std::move(programDir), stopRequested,
        [this](const Text& site, const Text& keyword, int engine, const QueryResult& result) {
            const std::optional<int> previous =
                m_database.StoreRank(site, keyword, engine, result.rank, result.url);
            emit stored();
            return previous;
        });
    connect(m_scan.get(), &RankScan::queryFinished, this, &RankRun::outcome);
    connect(m_scan.get(), &RankScan::progress, this, &RankRun::progress);
    connect(m_scan.get(), &RankScan::verificationNeeded, this, &RankRun::verificationNeeded);
    connect(m_scan.get(), &RankScan::verificationPassed, this, &RankRun::verificationPassed);
    connect(m_scan.get(), &RankScan::error, this, [this](const QString& message) {
        if (m_error.isEmpty())
            m_error = message;
    });
    connect(m_scan.get(), &RankScan::finished, this, &RankRun::finished);
}

RankRun::~RankRun() = default;

void RankRun::setSolveBlocks(bool solve) {
    m_scan->setSolveBlocks(solve);
}

void RankRun::start(std::vector<RankQuery> queries) {
    m_report.clear();
    m_warns = false;
    m_error.clear();
    m_scan->start(std::move(queries));
}

void RankRun::stop() {
    m_scan->stop();
}

void RankRun::abort() {
    m_scan->abort();
}

bool RankRun::exec(std::vector<RankQuery> queries, const std::atomic<bool>* interrupted) {
    QEventLoop loop;
    bool stopped = false;
    const QMetaObject::Connection end =
        connect(this, &RankRun::finished, &loop, [&loop, &stopped](bool wasStopped) {
            stopped = wasStopped;
            loop.quit();
        });
    // A signal handler may only set a flag: it is looked at here.
    QTimer watch;
    if (interrupted) {
        connect(&watch, &QTimer::timeout, this, [this, interrupted] {
            if (*interrupted)
                abort();
        });
        watch.start(50);
    }
    start(std::move(queries));
    loop.exec();
    disconnect(end);
    return stopped;
}

QString RankRun::fileError() const {
    return m_scan->fileError();
}

void RankRun::outcome(const RankOutcome& outcome) {
    m_report += reportLine(outcome);
    m_warns |=
        outcome.result.outcome == Outcome::Blocked || outcome.result.outcome == Outcome::Failed;
    emit queryFinished(outcome);
}
