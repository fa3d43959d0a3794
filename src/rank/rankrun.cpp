#include "rank/rankrun.h"

#include "core/settingkeys.h"
#include "core/statussink.h"
#include "rank/engines.h"
#include "rank/pumpwait.h"
#include "rank/rankscan.h"
#include "rank/reportlines.h"
#include "store/rankdb.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/inifile.h"

#include <QEventLoop>
#include <QTimer>

namespace {

// Between tries of a store that waits for the database: the window goes on meanwhile.
constexpr int kStorePauseMs = 50;

} // namespace

RankRun::RankRun(PageLoader& browser, StatusSink& status, const IniFile& settings,
                 QString programDir, bool& stopRequested, RankDatabase& database, QObject* parent)
    : QObject(parent), m_database(database), m_status(status), m_settings(settings) {
    m_write = [this](const RankQuery& q, const QueryResult& r, const LockWait& wait) {
        return m_database.storeRankWaiting(q.site, q.keyword, q.engine, r.rank, r.url, wait);
    };
    m_scan = std::make_unique<RankScan>(
        browser, status, settings, std::move(programDir), stopRequested,
        [this](const Text& site, const Text& keyword, int engine, const QueryResult& result) {
            const std::optional<int> previous = store({site, keyword, engine}, result);
            emit stored();
            return previous;
        });
    connect(m_scan.get(), &RankScan::queryFinished, this, &RankRun::outcome);
    connect(m_scan.get(), &RankScan::progress, this, &RankRun::progress);
    connect(m_scan.get(), &RankScan::verificationNeeded, this, &RankRun::verificationNeeded);
    connect(m_scan.get(), &RankScan::verificationPassed, this, &RankRun::verificationPassed);
    connect(m_scan.get(), &RankScan::verificationSkipped, this, &RankRun::verificationSkipped);
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

void RankRun::setWrite(Write write) {
    m_write = std::move(write);
}

// A result found after pages of searching is not given up because another program holds the
// database for a moment (an import, another copy storing): it waits as long as a page may take.
std::optional<int> RankRun::store(const RankQuery& query, const QueryResult& result) {
    bool waited = false;
    LockWait wait;
    wait.limit = std::chrono::seconds(Settings::PageTimeout.readInRange(m_settings));
    wait.waiting = [this, &waited] {
        if (!waited)
            m_status.SetStatusText(qStringToGbk(QStringLiteral("数据库被占用，等待写入…")));
        waited = true;
        PumpWait(kStorePauseMs);
    };
    try {
        const std::optional<int> previous = m_write(query, result, wait);
        if (waited)
            m_status.SetStatusText(kGbkDone);
        return previous;
    } catch (const AppError& e) {
        // The run ends with this message: it names the result that is lost.
        const QString what = result.rank > 0 ? QStringLiteral("rank %1").arg(result.rank)
                                             : QStringLiteral("not found");
        throw AppError(
            QStringLiteral("The result of \"%1\" on %2 for \"%3\" (%4) was not stored: %5")
                .arg(gbkToQString(query.site), SortQuerySearcherTypeGetText(query.engine),
                     gbkToQString(query.keyword), what, e.message()));
    }
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

void RankRun::skipVerification() {
    m_scan->skipVerification(QStringLiteral("验证页面已跳过"));
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
