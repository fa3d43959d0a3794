#include "app/ranktab.h"

#include "app/application.h"
#include "app/batchqueryform.h"
#include "app/enginechoice.h"
#include "app/historypanel.h"
#include "app/messagebox.h"
#include "app/opendialog.h"
#include "core/datafiles.h"
#include "core/statussink.h"
#include "modules/browserloader.h"
#include "rank/engines.h"
#include "rank/pumpwait.h"
#include "rank/rankrun.h"
#include "rank/reportlines.h"
#include "store/rankdb.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/inifile.h"
#include "ui_ranktab.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

RankTab::RankTab(const QString& programDir, IniFile& settings, StatusSink& status,
                 QStatusBar& statusBar, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::RankTab>()), ProgramDir(programDir),
      SettingsFile(settings), m_status(status) {
    ui->setupUi(this);
    // No more than the history keeps.
    ui->QueryWeb->setMaxLength(kMaxSiteChars);
    ui->QueryKey->setMaxLength(kMaxKeywordChars);
    // Engine settings the program cannot use are said; the built-in engines stand meanwhile.
    runReported([this] { loadEngines(); });
    // "Sort.mdb" beside the program, or the shared database [Database] Url names.
    m_database = rankDatabaseAddress(ProgramDir, SettingsFile);
    DataQuery = std::make_unique<RankDatabase>(m_database);
    m_history = new HistoryPanel(ProgramDir, m_database, ui->SortPageControl);
    m_history->setObjectName(QStringLiteral("SortGrid"));
    ui->SortPageControl->insertTab(0, m_history, m_history->windowTitle());
    // The browser's page exists for a verification and is shown only then.
    ui->SortPageControl->setTabVisible(ui->SortPageControl->indexOf(ui->SortWebTabSheet), false);
    ui->SortPageControl->setCurrentIndex(0);
    connect(m_history, &HistoryPanel::recordChosen, this, &RankTab::showRecord);

    m_rankProgressPanel = new QLabel(&statusBar);
    m_rankProgressPanel->setObjectName(QStringLiteral("RankProgressPanel"));
    m_rankProgressPanel->setMinimumHeight(20);
    statusBar.addPermanentWidget(m_rankProgressPanel);
    m_rankClock = new QTimer(this);
    m_rankClock->setInterval(1000);
    connect(m_rankClock, &QTimer::timeout, this, &RankTab::showRankProgress);

    connectReported(ui->QuerySortButton, &QPushButton::clicked, this,
                    &RankTab::QuerySortButtonClick);
    // Enter in a query field asks as "查询" does.
    connectReported(ui->QueryWeb, &QLineEdit::returnPressed, this, &RankTab::QuerySortButtonClick);
    connectReported(ui->QueryKey, &QLineEdit::returnPressed, this, &RankTab::QuerySortButtonClick);
    ui->QueryWeb->setToolTip(
        QStringLiteral("要查排名的网站，如 example.com（含子域名）；"
                       "写了路径（example.com/blog）时结果网址也须在该路径下"));
    ui->QueryKey->setToolTip(QStringLiteral("在搜索引擎中搜索的关键词，最多 30 个字"));
    ui->SearcherCombox->setToolTip(QStringLiteral("在哪个搜索引擎中查询；“全部”依次查询每一个"));
    ui->QuerySortButton->setToolTip(QStringLiteral("查询这个网站在该关键词下的排名（回车亦可）"));
    ui->BatchQuery->setToolTip(QStringLiteral("打开批量查询列表，一次查询多个网站和关键词"));
    ui->StopQueryButton->setToolTip(QStringLiteral("当前页面载入完后停止；已查到并保存的排名保留"));
    connectReported(ui->BatchQuery, &QPushButton::clicked, this, &RankTab::BatchQueryClick);
    connectReported(ui->StopQueryButton, &QPushButton::clicked, this,
                    &RankTab::stopQueryButtonClick);
}

RankTab::~RankTab() {
    // The run stops before the browser and the settings it uses go; the view goes before the
    // page it shows.
    m_run.reset();
    delete m_browserView;
    m_browserView = nullptr;
}

void RankTab::loadEngines() {
    try {
        setCurrentEngineProfiles(loadEngineProfiles(SettingsFile));
    } catch (const AppError&) {
        // The choices stay those of the table in use.
        fillEngineChoice(ui->SearcherCombox, AllEngines::Last);
        throw;
    }
    fillEngineChoice(ui->SearcherCombox, AllEngines::Last);
}

std::optional<int> RankTab::StoreRank(const Text& site, const Text& keyword, int engine, int rank,
                                      const QString& url) {
    return DataQuery->StoreRank(site, keyword, engine, rank, url);
}

void RankTab::windowClosed() {
    StopRequested = true;
    // A rank run ends after the page under way.
    if (m_run)
        m_run->stop();
    m_history->closeHistory();
    m_closed = true;
}

void RankTab::QuerySortTabSheetShow() {
    m_history->RefreshHistory();
}

void RankTab::showRecord(const QString& site, const QString& keyword, int engine) {
    ui->QueryWeb->setText(site);
    ui->QueryKey->setText(keyword);
    ui->SearcherCombox->setCurrentIndex(engine >= 0 && engine < ui->SearcherCombox->count() ? engine
                                                                                            : -1);
}

PageLoader& RankTab::browser() {
    if (!m_browser)
        m_browser = createBrowserPage(ProgramDir + DataFiles::Browser);
    return *m_browser;
}

void RankTab::QuerySortButtonClick() {
    // An empty field would load every page and store a row without it.
    for (QLineEdit* field : {ui->QueryWeb, ui->QueryKey}) {
        if (field->text().trimmed().isEmpty()) {
            MessageBox::warning(this, QStringLiteral("请填写%1。")
                                          .arg(field == ui->QueryWeb ? QStringLiteral("网址")
                                                                     : QStringLiteral("关键词")));
            field->setFocus();
            return;
        }
    }
    const Text site = qStringToGbkStrict(ui->QueryWeb->text(), QStringLiteral("The site"));
    const Text keyword = qStringToGbkStrict(ui->QueryKey->text(), QStringLiteral("The keyword"));
    // "全部", the last choice, asks every engine in turn, as a batch row of engine 0 does.
    const int engine = ui->SearcherCombox->currentIndex();
    if (engine < 0)
        return;
    const bool all = engine == ui->SearcherCombox->count() - 1;
    RunRankQueries(makeBatchQueries({{0, site, keyword, all ? 0 : engine + 1}}));
}

void RankTab::BatchQueryClick() {
    openDialog<TBatchQueryForm>(window(), QStringLiteral("BatchQueryForm"), m_database, m_batch);
    // Taking the lists empties them: "退出" after an earlier batch must not run it again.
    const BatchLists batch = std::exchange(m_batch, {});
    // The dialog's lists become typed queries here, their one way into the program.
    if (!batch.BatchWebs.empty())
        RunRankQueries(parseQueries(batch));
}

void RankTab::RunRankQueries(std::vector<RankQuery> queries) {
    // One run at a time: the buttons that start one are off until it ends.
    if (m_rankRunActive)
        return;
    loadEngines();
    m_rankRunActive = true;
    ui->QuerySortButton->setEnabled(false);
    ui->BatchQuery->setEnabled(false);
    ui->StopQueryButton->setEnabled(true);
    m_run = std::make_unique<RankRun>(browser(), m_status, SettingsFile, ProgramDir, StopRequested,
                                      *DataQuery);
    m_run->setSolveBlocks(true);
    // Each stored rank shows at once, not only at the end of a long batch.
    // The refresh leaves the query fields as typed: the user may be preparing the next query.
    connect(m_run.get(), &RankRun::stored, this, [this] {
        if (!m_closed)
            m_history->refreshKeepingPlace();
    });
    connect(m_run.get(), &RankRun::verificationNeeded, this, &RankTab::showVerification);
    connect(m_run.get(), &RankRun::verificationPassed, this, &RankTab::hideVerification);
    connect(m_run.get(), &RankRun::verificationSkipped, this, &RankTab::hideVerification);
    // Queries that share a keyword and an engine are scanned together: the progress counts the
    // queries that have ended, so a batch ends at its number of queries.
    connect(m_run.get(), &RankRun::progress, this, [this](int, int queries, int page) {
        m_rankQueries = queries;
        m_rankQuery = std::min(m_tally.done + 1, queries);
        m_rankPage = page;
        showRankProgress();
    });
    connect(m_run.get(), &RankRun::queryFinished, this, [this](const RankOutcome& outcome) {
        switch (outcome.result.outcome) {
        case Outcome::Ranked:
            ++m_tally.ranked;
            break;
        case Outcome::NotFound:
            ++m_tally.notFound;
            break;
        case Outcome::Blocked:
            ++m_tally.blocked;
            break;
        case Outcome::Failed:
            ++m_tally.failed;
            break;
        case Outcome::Stopped:
            return;
        }
        ++m_tally.done;
        m_lastOutcome = outcome;
        m_rankQuery = m_tally.done;
        showRankProgress();
    });
    // The report is a modal message and the pause after it handles events: both wait until
    // the run's own signal has returned.
    connect(m_run.get(), &RankRun::finished, this, &RankTab::rankRunFinished, Qt::QueuedConnection);
    m_rankQuery = 0;
    m_rankQueries = static_cast<int>(queries.size());
    m_tally = {};
    m_lastOutcome.reset();
    m_rankElapsed.start();
    m_rankClock->start();
    m_run->start(std::move(queries));
}

QString RankTab::runEndText(bool stopped) const {
    if (!m_run->error().isEmpty())
        return QStringLiteral("查询出错，已中止：%1").arg(m_run->error());
    if (stopped)
        return QStringLiteral("已停止：完成 %1/%2 个查询").arg(m_tally.done).arg(m_rankQueries);
    if (m_rankQueries == 1 && m_lastOutcome)
        return outcomeLine(*m_lastOutcome);
    return QStringLiteral("完成：%1 个查询，%2 个有排名，%3 个未找到，%4 个遇到验证，%5 个失败")
        .arg(m_tally.done)
        .arg(m_tally.ranked)
        .arg(m_tally.notFound)
        .arg(m_tally.blocked)
        .arg(m_tally.failed);
}

void RankTab::rankRunFinished(bool stopped) {
    struct Reenable {
        RankTab* tab;
        ~Reenable() {
            tab->hideVerification();
            tab->m_run.reset();
            // The panel keeps the run's last count and time.
            tab->m_rankClock->stop();
            tab->m_rankRunActive = false;
            tab->ui->QuerySortButton->setEnabled(true);
            tab->ui->BatchQuery->setEnabled(true);
            tab->ui->StopQueryButton->setEnabled(false);
        }
    } reenable{this};
    // Nothing runs in a window that is gone.
    if (m_closed)
        return;
    m_rankPage = 0;
    showRankProgress();
    // The status line says how the run ended, whatever the page it was on said last.
    m_status.SetStatusText(qStringToGbk(runEndText(stopped)));
    // Said once, in the run's one message; the ranks stand without the copy of the pages.
    const QString fileError =
        m_run->fileError().isEmpty() ? QString() : m_run->fileError() + QLatin1Char('.');
    if (!m_run->error().isEmpty()) {
        MessageBox::error(
            this, m_run->error() + QLatin1Char('.') +
                      (fileError.isEmpty() ? QString() : QStringLiteral("\r\n") + fileError));
        return;
    }
    // A block or a failure is no result: the report says so in a warning.
    if (m_run->warns() || !fileError.isEmpty())
        MessageBox::warning(this, m_run->report() + fileError);
    else if (!m_run->report().isEmpty())
        MessageBox::information(this, m_run->report());
    PumpWait(1000);
    if (!m_closed)
        m_history->refreshKeepingPlace();
}

void RankTab::showVerification() {
    if (!m_browserView) {
        // Said in the view itself, with the way out for a person who cannot pass it now.
        auto* banner = new QWidget(ui->SortWebTabSheet);
        banner->setObjectName(QStringLiteral("VerificationBanner"));
        auto* row = new QHBoxLayout(banner);
        auto* words =
            new QLabel(QStringLiteral("搜索引擎显示了验证页面：请在下方完成验证，完成后查询"
                                      "自动继续。不能验证时点“跳过”，本条查询记为遇到验证。"),
                       banner);
        words->setWordWrap(true);
        row->addWidget(words, 1);
        auto* skip = new QPushButton(QStringLiteral("跳过"), banner);
        skip->setObjectName(QStringLiteral("SkipVerificationButton"));
        skip->setToolTip(QStringLiteral("放弃这条查询（记为遇到验证），继续下一条"));
        connect(skip, &QPushButton::clicked, this, [this] {
            if (m_run)
                m_run->skipVerification();
        });
        row->addWidget(skip);
        auto* layout = static_cast<QVBoxLayout*>(ui->SortWebTabSheet->layout());
        layout->addWidget(banner);
        m_browserView = createBrowserView(browser(), ui->SortWebTabSheet);
        m_browserView->setObjectName(QStringLiteral("WebBrowser"));
        layout->addWidget(m_browserView, 1);
    }
    // Shown where the person works: this tab, below the query fields, the window in front.
    emit showRequested();
    const int tab = ui->SortPageControl->indexOf(ui->SortWebTabSheet);
    ui->SortPageControl->setTabVisible(tab, true);
    ui->SortPageControl->setCurrentIndex(tab);
    QWidget* top = window();
    top->setWindowState(top->windowState() & ~Qt::WindowMinimized);
    top->raise();
    top->activateWindow();
    QApplication::alert(top);
}

void RankTab::hideVerification() {
    const int tab = ui->SortPageControl->indexOf(ui->SortWebTabSheet);
    if (!ui->SortPageControl->isTabVisible(tab))
        return;
    ui->SortPageControl->setCurrentWidget(m_history);
    ui->SortPageControl->setTabVisible(tab, false);
}

void RankTab::stopQueryButtonClick() {
    if (m_run)
        m_run->stop();
}

void RankTab::showRankProgress() {
    if (!m_run || m_rankQuery == 0)
        return;
    const qint64 seconds = m_rankElapsed.elapsed() / 1000;
    // Page 0: the run has ended, and its time is the run's.
    const QString page = m_rankPage > 0 ? QStringLiteral(" · 第 %1 页").arg(m_rankPage) : QString();
    m_rankProgressPanel->setText(QStringLiteral("查询 %1/%2%3 · %4:%5")
                                     .arg(m_rankQuery)
                                     .arg(m_rankQueries)
                                     .arg(page)
                                     .arg(seconds / 60)
                                     .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}
