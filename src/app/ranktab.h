#pragma once

#include "rank/batchqueries.h"
#include "store/rankdb.h"
#include "store/rankquery.h"
#include "text/text.h"

#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class HistoryPanel;
class IniFile;
class PageLoader;
class QLabel;
class QStatusBar;
class QTimer;
class RankRun;
class StatusSink;
namespace Ui {
class RankTab;
}

// "排名查询": the query fields, the batch, 停止, the history below them, and the view of the
// result-page browser when an engine asks a person to pass its verification.
class RankTab : public QWidget {
    Q_OBJECT

public:
    // The run's clock goes into statusBar; status receives the scan's texts.
    RankTab(const QString& programDir, IniFile& settings, StatusSink& status, QStatusBar& statusBar,
            QWidget* parent = nullptr);
    ~RankTab() override;

    // The engines are the user's to change in "Setting.ini": read at start, before each run and
    // after the settings dialog.
    void loadEngines();
    // The rank history: one row per site, keyword, engine and day. Returns the rank stored on
    // the latest earlier day, if any.
    std::optional<int> StoreRank(const Text& site, const Text& keyword, int engine, int rank,
                                 const QString& url = {});
    RankDatabase& dataQuery() { return *DataQuery; }

    // Starts rank queries, one after another, and returns at once; when they have ended, one
    // message reports the ranks found, the blocks and the failures.
    void RunRankQueries(std::vector<RankQuery> queries);
    bool rankRunActive() const { return m_rankRunActive; }
    bool stopRequested() const { return StopRequested; }
    // The result-page browser, made on the first query.
    PageLoader& browser();

    void QuerySortButtonClick();
    void BatchQueryClick();
    void stopQueryButtonClick();
    // The tab came to the front: the history is shown afresh.
    void QuerySortTabSheetShow();
    // The window closes: a run under way ends after the page under way, and nothing of this
    // tab runs any more.
    void windowClosed();

signals:
    // The verification view wants the person's eyes: the window brings this tab up.
    void showRequested();

private:
    void rankRunFinished(bool stopped);
    // The status line's last word on a run.
    QString runEndText(bool stopped) const;
    void showRankProgress();
    void showVerification();
    void hideVerification();
    void showRecord(const QString& site, const QString& keyword, int engine);

    std::unique_ptr<Ui::RankTab> ui;
    QString ProgramDir;
    IniFile& SettingsFile;
    StatusSink& m_status;
    // What the rank database's data sets open.
    DatabaseAddress m_database;
    // Each data set of the rank database holds its own connection.
    std::unique_ptr<RankDatabase> DataQuery;
    HistoryPanel* m_history = nullptr;
    QLabel* m_rankProgressPanel = nullptr;
    QTimer* m_rankClock = nullptr;
    // Shows the result-page browser when an engine asks a person to pass its verification.
    QWidget* m_browserView = nullptr;

    bool StopRequested = false;
    // The window has closed: a rank run under way ends after its current query.
    bool m_closed = false;
    bool m_rankRunActive = false;
    // Filled by the batch dialog's "开始查询", taken (and so emptied) by the run.
    BatchLists m_batch;
    std::unique_ptr<PageLoader> m_browser;
    // The run under way; it goes before the browser and the settings it uses.
    std::unique_ptr<RankRun> m_run;
    // The run's outcomes so far, for its progress and the line that ends it.
    struct RunTally {
        int done = 0;
        int ranked = 0;
        int notFound = 0;
        int blocked = 0;
        int failed = 0;
    };
    RunTally m_tally;
    std::optional<RankOutcome> m_lastOutcome;
    int m_rankQuery = 0;
    int m_rankQueries = 0;
    int m_rankPage = 0;
    QElapsedTimer m_rankElapsed;
};
