#pragma once

#include "app/batchqueryform.h"
#include "core/statussink.h"
#include "sender/httpfetch.h"
#include "sender/sendreport.h"
#include "text/inifile.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class Dispenser;
class PageLoader;
class RankScan;
struct RankOutcome;
class GrowWithWindow;
class HistoryFilterModel;
class HistoryModel;
class RankDatabase;
class QLabel;
class QProgressBar;
class QTimer;
class SendRun;
class SiteList;
namespace Ui {
class TMainForm;
}

// The main window: the tabs "外链群发" and "排名查询", the status line and the menu.
class TMainForm : public QMainWindow, public StatusSink {
    Q_OBJECT

public:
    // programDir: the folder of the program's files; empty means the executable's folder.
    explicit TMainForm(const QString& programDir = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Callable from any thread: a worker's text reaches the panel through the UI thread, and
    // texts that arrive faster than the window paints are coalesced to the newest.
    void SetStatusText(const Text& text) override;
    QString statusText() const;

    const QString& programDir() const { return ProgramDir; }
    IniFile& settingsFile() { return *SettingsFile; }
    bool stopRequested() const { return StopRequested; }

    void LoadSendSettings();
    void SaveSendSettings();

    // Tests shorten the send workers' time-outs.
    void setFetchOptions(const FetchOptions& options) { m_fetchOptions = options; }
    bool sendRunActive() const { return m_run != nullptr; }

    // The rank history: one row per site, keyword, engine and day.
    void StoreRank(const Text& site, const Text& keyword, int engine, int rank,
                   const QString& url = {});
    void RefreshHistory();
    RankDatabase& dataQuery() { return *DataQuery; }

    // Starts rank queries, one after another, and returns at once; when they have ended, one
    // message reports the ranks found, the blocks and the failures.
    void RunRankQueries(std::vector<RankQuery> queries);
    bool rankRunActive() const { return m_rankRunActive; }
    QString rankProgressText() const;
    // The send run's progress as the status bar shows it.
    QString sendProgressText() const;
    // The result-page browser, made on the first query.
    PageLoader& browser();
    QWidget* browserView() const { return m_browserView; }

    void QuerySortButtonClick();
    void BatchQueryClick();
    void stopQueryButtonClick();
    void AddUrlButtonClick();
    void StartButtonClick();
    void QuitButtonClick();
    void SettingMenuClick();
    void AboutMenuClick();
    // "清理失效模板": the templates that failed for every site in the last run leave "SL.txt".
    void cleanTemplatesMenuClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate(const QString& programDir);
    void loadEngines();
    void restoreGeometry();
    void saveGeometry();
    void FormClose();
    void applyPendingStatus();
    void sendRunFinished();
    void rankQueryFinished(const RankOutcome& outcome);
    void rankRunFinished();
    void showRankProgress();
    void showVerification();
    void hideVerification();
    void QuerySortTabSheetShow();
    void SortQueryAfterScroll();
    void deleteHistoryRow();
    // The rows the history grid shows, as the user filtered and sorted them, header first.
    QList<QStringList> shownHistory() const;
    // ... to a CSV or a spreadsheet file the user chooses.
    void exportHistoryCsv();
    void exportHistoryXlsx();
    // Adds the rows of an exported CSV that the history lacks.
    void importHistoryCsv();
    // "排名走势" of the selected row's site and keyword.
    void showRankChart();
    void showSendProgress();

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<GrowWithWindow> m_grow;
    QLabel* m_statusPanel = nullptr;
    QProgressBar* m_progressPanel = nullptr;
    QElapsedTimer m_sendElapsed;
    // The last send run's account, for "清理失效模板".
    std::optional<SendReport> m_lastReport;
    QTimer* m_progressTimer = nullptr;
    QLabel* m_rankProgressPanel = nullptr;
    // Shows the result-page browser when an engine asks a person to pass its verification.
    QWidget* m_browserView = nullptr;
    QTimer* m_rankClock = nullptr;

    QString ProgramDir;
    // What the rank database's data sets open.
    QString m_connectionString;
    std::unique_ptr<IniFile> SettingsFile;
    std::recursive_mutex StatusLock;
    bool StopRequested = false;
    // The window has closed: a rank run under way ends after its current query.
    bool m_closed = false;
    bool m_rankRunActive = false;
    // Filled by the batch dialog's "开始查询", taken (and so emptied) by the run.
    BatchLists m_batch;
    std::unique_ptr<PageLoader> m_browser;
    // The run under way; it goes before the browser and the settings it uses.
    std::unique_ptr<RankScan> m_scan;
    QString m_report;
    bool m_reportWarns = false;
    QString m_rankError;
    int m_rankQuery = 0;
    int m_rankQueries = 0;
    int m_rankPage = 0;
    QElapsedTimer m_rankElapsed;

    SiteList* m_sites = nullptr;
    // The passes as the spin edit shows them, for workers, which must not touch a widget.
    std::atomic<int> m_sendCount{2};
    // Each data set of the rank database holds its own connection.
    std::unique_ptr<RankDatabase> DataQuery;
    std::unique_ptr<RankDatabase> m_sortQueryDb;
    HistoryModel* SortQuery = nullptr;
    // What the grid shows of SortQuery: filtered and sorted; rows map back to it.
    HistoryFilterModel* m_historyView = nullptr;

    // Holds the templates and DispenserLock.
    std::unique_ptr<Dispenser> m_dispenser;
    FetchOptions m_fetchOptions;
    long long m_jobTotal = 0;

    // Guarded by StatusLock: the newest worker text the UI has not shown yet.
    std::optional<Text> m_pendingStatus;
    // A send run is under way: the progress timer, not a posted call, shows a worker's text.
    bool m_statusPolled = false;

    // Ended first when the window goes, so its workers stop before what they use is freed.
    std::unique_ptr<SendRun> m_run;
};
