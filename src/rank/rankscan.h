#pragma once

#include "rank/engines.h"
#include "rank/pageloader.h"
#include "store/rankquery.h"
#include "text/text.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

class IniFile;
class StatusSink;

// The rank of the first result piece that mentions searchKey on a page found to mention it
// (page counts from 1), or 0 when no piece does. lowerHtml is the lower-cased page.
int rankOnPage(const Text& lowerHtml, const Text& searchKey, const EngineProfile& profile,
               int page);

// A run of rank queries, driven by the browser's answers and timers on the UI thread: load a
// result page, read it, pause, load the next. Nothing waits on the thread, so the window goes
// on while a run is under way. Queries that ask one engine for one keyword are scanned
// together: each result page is loaded once and ranks every one of their sites.
class RankScan : public QObject {
    Q_OBJECT

public:
    // Called for results only (Ranked, NotFound), and only when storing is on; a database
    // error (AppError) ends the run.
    // Returns the rank stored on the latest earlier day, if any.
    using Store = std::function<std::optional<int>(const Text& site, const Text& keyword,
                                                   int engine, const QueryResult& result)>;

    // stopRequested: set when the main window closes; the run ends after the page under way.
    RankScan(PageLoader& browser, StatusSink& status, const IniFile& settings, QString programDir,
             bool& stopRequested, Store store, QObject* parent = nullptr);
    ~RankScan() override;

    // Starts the run and returns at once.
    void start(std::vector<RankQuery> queries);
    // Ends the run after the page under way: the queries scanned then are stopped and nothing
    // of them is stored.
    void stop();
    // Ends the run now, as a signal to the program must: the page under way is abandoned, and
    // the queries scanned then are stopped, nothing of them stored.
    void abort();
    // The person gives up on the verification page the scan waits at: its query ends as
    // blocked and the run goes on. Nothing happens when the scan waits for none.
    void skipVerification(const QString& reason);
    // A window lets a person pass a verification page in a view of the browser: the scan
    // then waits for that, with no time limit, instead of ending the query as blocked.
    void setSolveBlocks(bool solve) { m_solveBlocks = solve; }
    // The first failure of the run to keep a page in "temp.txt", naming the file and the
    // reason; empty while none. The run goes on: no rank depends on that copy.
    const QString& fileError() const { return m_fileError; }

    void ShowPageStatus(int page);

signals:
    // A result page is about to load: the scan's first query (from 1), of how many, and page.
    void progress(int query, int queries, int page);
    // Each query's outcome, in query order.
    void queryFinished(const RankOutcome& outcome);
    // The page under way is a verification page that a person can pass in the browser; the
    // scan waits until the page has left it.
    void verificationNeeded(const QString& engineName);
    void verificationPassed();
    // The wait for a person ended without the page being passed (skipped, or waited too long).
    void verificationSkipped();
    // A database error ended the run, or a site or keyword too long for the database did
    // before any page was loaded; finished follows.
    void error(const QString& message);
    // The run has ended; stopped: by stop() or the window's closing.
    void finished(bool stopped);

private:
    struct Member;
    struct Scan;

    // Refuses a run whose results the database could not take, or starts its first query.
    void begin();
    // Starts the next query (with the queries that share its keyword and engine) at page 1,
    // or ends the run when none is left.
    void QueryRank();
    void loadPage();
    void pageLoaded(const LoadedPage& loaded);
    void pageHtml(const LoadedPage& loaded, const Text& html);
    void readByMarkers();
    void readByRecipe(const QString& answer);
    void afterPage(bool last);
    void blocked(const QString& reason);
    void awaitVerification();
    void navigated(const LoadedPage& loaded);
    void stopNow();
    void endScan(Outcome unfinished, const QString& reason);
    void settle(size_t query, QueryResult result);
    void finish(bool stopped);

    PageLoader& m_browser;
    StatusSink& m_status;
    const IniFile& m_settings;
    const QString m_programDir;
    bool& StopRequested;
    Store m_store;

    std::vector<RankQuery> m_queries;
    std::vector<std::optional<RankOutcome>> m_outcomes;
    size_t m_emitted = 0;
    std::vector<Scan> m_scans;
    size_t m_current = 0;
    bool m_running = false;
    bool m_stopping = false;
    bool m_solveBlocks = false;
    bool m_waiting = false;
    bool m_storing = false;
    QString m_fileError;
    QTimer m_pause;
    // How long a wait for a person may last, when the settings limit it.
    QTimer m_verificationLimit;
};
