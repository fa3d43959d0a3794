#include "app/mainform.h"

#include "app/aboutform.h"
#include "app/application.h"
#include "app/enginechoice.h"
#include "app/growwithwindow.h"
#include "app/historymodel.h"
#include "app/messagebox.h"
#include "app/rankchartdialog.h"
#include "app/settingform.h"
#include "app/spinvalue.h"
#include "core/datafolder.h"
#include "core/settingkeys.h"
#include "core/version.h"
#include "modules/browserloader.h"
#include "modules/reportloader.h"
#include "rank/batchqueries.h"
#include "rank/engines.h"
#include "rank/pumpwait.h"
#include "rank/rankscan.h"
#include "rank/reportlines.h"
#include "sender/dispenser.h"
#include "sender/fetchsettings.h"
#include "sender/sendrun.h"
#include "sender/sitelist.h"
#include "sender/startrun.h"
#include "store/historycsv.h"
#include "store/rankdb.h"
#include "text/apperror.h"
#include "text/atomicfile.h"
#include "text/codepage.h"
#include "text/csvtext.h"
#include "text/strsearch.h"
#include "ui_mainform.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Dialogs are created at each opening, shown modally and free themselves when they close.
template <typename Dialog, typename... Args>
void openDialog(QWidget* owner, const QString& name, Args&&... args) {
    QPointer<Dialog> dialog = owner->findChild<Dialog*>(name, Qt::FindDirectChildrenOnly);
    if (!dialog) {
        dialog = new Dialog(std::forward<Args>(args)..., owner);
        dialog->setObjectName(name);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->exec();
}

} // namespace

TMainForm::TMainForm(const QString& programDir, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    // The program's text size, its menus and message boxes included. Said in a style sheet, it
    // would take every widget through Qt's style-sheet style, which costs the start 6 ms.
    QFont font14 = QApplication::font();
    font14.setPixelSize(14);
    QApplication::setFont(font14);
    ui->setupUi(this);
    // Tabs that exist for the browser pages and are never shown.
    ui->SEOPageControl->setTabVisible(ui->SEOPageControl->indexOf(ui->StaTabSheet), false);
    ui->SortPageControl->setTabVisible(ui->SortPageControl->indexOf(ui->SortWebTabSheet), false);
    ui->SEOPageControl->setCurrentIndex(0);
    // The history pages hang below the query fields and reach the tab's bottom edge.
    auto* historyLayout = new QVBoxLayout(ui->QuerySortTabSheet);
    historyLayout->setContentsMargins(0, 114, 0, 0);
    historyLayout->addWidget(ui->SortPageControl);
    ui->ThreadCount->setRange(Settings::ThreadCount.min, Settings::ThreadCount.max);
    ui->SendCount->setRange(Settings::SendCount.min, Settings::SendCount.max);
    ui->ThreadCount->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    ui->SendCount->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);

    m_statusPanel = new QLabel(this);
    m_statusPanel->setMinimumHeight(20);
    m_statusPanel->setObjectName(QStringLiteral("StatusPanel"));
    ui->StatusBar->addWidget(m_statusPanel, 1);
    ui->StatusBar->setSizeGripEnabled(false);

    // A fixed size, so that a new text never lays out the status bar again; shown from the
    // first run on.
    m_progressPanel = new QProgressBar(this);
    m_progressPanel->setObjectName(QStringLiteral("ProgressPanel"));
    m_progressPanel->setFixedSize(240, 18);
    m_progressPanel->setRange(0, 1000);
    m_progressPanel->setTextVisible(true);
    m_progressPanel->setAlignment(Qt::AlignCenter);
    m_progressPanel->hide();
    ui->StatusBar->addPermanentWidget(m_progressPanel);
    m_rankProgressPanel = new QLabel(this);
    m_rankProgressPanel->setObjectName(QStringLiteral("RankProgressPanel"));
    m_rankProgressPanel->setMinimumHeight(20);
    ui->StatusBar->addPermanentWidget(m_rankProgressPanel);
    m_rankClock = new QTimer(this);
    m_rankClock->setInterval(1000);
    connect(m_rankClock, &QTimer::timeout, this, &TMainForm::showRankProgress);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(250);
    connect(m_progressTimer, &QTimer::timeout, this, &TMainForm::showSendProgress);

    m_sites = new SiteList(this);
    ui->UrlList->setModel(m_sites);
    m_dispenser = std::make_unique<Dispenser>(*m_sites, [this] { return m_sendCount.load(); });
    // Workers read the passes afresh at every step; they get them from here, never from the
    // widget. A text that is no number counts as the minimum.
    auto mirrorSendCount = [this] {
        m_sendCount = spinValue(ui->SendCount, ui->SendCount->minimum());
    };
    connect(ui->SendCount, &QSpinBox::textChanged, this, mirrorSendCount);

    SortQuery = new HistoryModel(this);
    m_historyView = new HistoryFilterModel(this);
    m_historyView->setSourceModel(SortQuery);
    ui->SortDBGrid->setModel(m_historyView);
    // Newest first until the user picks a column to sort by; only then does a title show
    // the sort mark (and take the room for it).
    QHeaderView* titles = ui->SortDBGrid->horizontalHeader();
    titles->setSortIndicator(-1, Qt::AscendingOrder);
    ui->SortDBGrid->setSortingEnabled(true);
    titles->setSortIndicatorShown(false);
    connect(titles, &QHeaderView::sortIndicatorChanged, titles,
            [titles](int column) { titles->setSortIndicatorShown(column >= 0); });
    connect(ui->HistoryFilter, &QLineEdit::textChanged, m_historyView,
            &HistoryFilterModel::setFilterText);
    // The clear button shows only with text, and looking its icon up in the icon theme costs
    // the start 5 ms: made with the first text.
    connect(
        ui->HistoryFilter, &QLineEdit::textChanged, ui->HistoryFilter,
        [filter = ui->HistoryFilter] { filter->setClearButtonEnabled(true); },
        Qt::SingleShotConnection);
    ui->SortDBGrid->setColumnHidden(HistoryModel::Id, true);
    connectReported(ui->SortDBGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                    &TMainForm::SortQueryAfterScroll);
    auto* historyMenu = new QMenu(this);
    historyMenu->setObjectName(QStringLiteral("HistoryPopupMenu"));
    QAction* chart = historyMenu->addAction(QStringLiteral("排名走势…"));
    chart->setObjectName(QStringLiteral("RankChartMenu"));
    connectReported(chart, &QAction::triggered, this, &TMainForm::showRankChart);
    connectReported(ui->SortDBGrid, &QAbstractItemView::doubleClicked, this,
                    &TMainForm::showRankChart);
    historyMenu->addSeparator();
    QAction* exportCsv = historyMenu->addAction(QStringLiteral("导出为 CSV…"));
    exportCsv->setObjectName(QStringLiteral("ExportCsvMenu"));
    connectReported(exportCsv, &QAction::triggered, this, &TMainForm::exportHistoryCsv);
    QAction* exportXlsx = historyMenu->addAction(QStringLiteral("导出为 Excel (XLSX)…"));
    exportXlsx->setObjectName(QStringLiteral("ExportXlsxMenu"));
    connectReported(exportXlsx, &QAction::triggered, this, &TMainForm::exportHistoryXlsx);
    QAction* importCsv = historyMenu->addAction(QStringLiteral("从 CSV 导入…"));
    importCsv->setObjectName(QStringLiteral("ImportCsvMenu"));
    connectReported(importCsv, &QAction::triggered, this, &TMainForm::importHistoryCsv);
    ui->SortDBGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->SortDBGrid, &QWidget::customContextMenuRequested, historyMenu,
            [this, historyMenu](QPoint at) {
                historyMenu->popup(ui->SortDBGrid->viewport()->mapToGlobal(at));
            });
    auto* deleteRow = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete), ui->SortDBGrid);
    deleteRow->setContext(Qt::WidgetShortcut);
    connectReported(deleteRow, &QShortcut::activated, this, &TMainForm::deleteHistoryRow);
    connectReported(ui->SEOPageControl, &QTabWidget::currentChanged, this,
                    &TMainForm::QuerySortTabSheetShow);

    connectReported(ui->QuerySortButton, &QPushButton::clicked, this,
                    &TMainForm::QuerySortButtonClick);
    connectReported(ui->BatchQuery, &QPushButton::clicked, this, &TMainForm::BatchQueryClick);
    connectReported(ui->StopQueryButton, &QPushButton::clicked, this,
                    &TMainForm::stopQueryButtonClick);
    connectReported(ui->AddUrlButton, &QPushButton::clicked, this, &TMainForm::AddUrlButtonClick);
    connectReported(ui->StartButton, &QPushButton::clicked, this, &TMainForm::StartButtonClick);
    connectReported(ui->QuitButton, &QPushButton::clicked, this, &TMainForm::QuitButtonClick);
    connectReported(ui->SettingMenu, &QAction::triggered, this, &TMainForm::SettingMenuClick);
    connectReported(ui->AboutMenu, &QAction::triggered, this, &TMainForm::AboutMenuClick);
    connectReported(ui->CleanTemplatesMenu, &QAction::triggered, this,
                    &TMainForm::cleanTemplatesMenuClick);

    FormCreate(programDir);
    mirrorSendCount();
    // The designed size is the smallest; a larger window gives the lists and grids the room.
    const QSize designed = sizeHint().expandedTo(size());
    ui->CentralWidget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setMinimumSize(designed);
    resize(designed);
    m_grow = std::make_unique<GrowWithWindow>(designed);
    using G = GrowWithWindow;
    m_grow->add(ui->Url, G::GrowWidth);
    m_grow->add(ui->AddUrlButton, G::MoveRight);
    m_grow->add(ui->UrlList, G::GrowWidth | G::GrowHeight);
    for (QWidget* control :
         {static_cast<QWidget*>(ui->Label3), static_cast<QWidget*>(ui->ThreadCount)})
        m_grow->add(control, G::MoveDown);
    for (QWidget* control :
         {static_cast<QWidget*>(ui->Label4), static_cast<QWidget*>(ui->SendCount),
          static_cast<QWidget*>(ui->StartButton), static_cast<QWidget*>(ui->QuitButton)})
        m_grow->add(control, G::MoveRight | G::MoveDown);
    m_grow->add(ui->QueryKey, G::GrowWidth);
    for (QWidget* control :
         {static_cast<QWidget*>(ui->QuerySortButton), static_cast<QWidget*>(ui->BatchQuery),
          static_cast<QWidget*>(ui->StopQueryButton)})
        m_grow->add(control, G::MoveRight);
    move(583, 147);
    restoreGeometry();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_grow)
        m_grow->apply(size());
}

// Size and place as the window was left, when that fits a screen.
void TMainForm::restoreGeometry() {
    const int width = Settings::WindowWidth.read(*SettingsFile);
    const int height = Settings::WindowHeight.read(*SettingsFile);
    if (width <= 0 || height <= 0)
        return;
    const QRect place(Settings::WindowLeft.readOr(*SettingsFile, x()),
                      Settings::WindowTop.readOr(*SettingsFile, y()), width, height);
    resize(place.size().expandedTo(minimumSize()));
    if (QGuiApplication::screenAt(place.center()))
        move(place.topLeft());
    if (Settings::WindowMaximized.read(*SettingsFile))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainForm::saveGeometry() {
    // A window that was never shown has nothing to remember.
    if (!isVisible())
        return;
    const QRect place = isMaximized() ? normalGeometry() : geometry();
    Settings::WindowLeft.write(*SettingsFile, place.x());
    Settings::WindowTop.write(*SettingsFile, place.y());
    Settings::WindowWidth.write(*SettingsFile, place.width());
    Settings::WindowHeight.write(*SettingsFile, place.height());
    Settings::WindowMaximized.write(*SettingsFile, isMaximized());
}

TMainForm::~TMainForm() {
    // FormDestroy: a run still going is stopped and its workers joined before anything they
    // use goes.
    m_run.reset();
    m_scan.reset();
    // The view goes before the page it shows.
    delete m_browserView;
    m_browserView = nullptr;
}

void TMainForm::FormCreate(const QString& programDir) {
    // The process-wide state comes first, so that it is in place whatever happens to the
    // site list below.
    ProgramDir = QDir(programDir.isEmpty() ? defaultDataFolder() : programDir).absolutePath() +
                 QLatin1Char('/');
    setWindowTitle(kAppTitle + QStringLiteral(MT_FILE_VERSION));
    SettingsFile = std::make_unique<IniFile>(ProgramDir + QStringLiteral("Setting.ini"));
    loadEngines();
    // "Sort.mdb" beside the program, or the shared database [Database] Url names.
    m_connectionString = rankConnectionString(ProgramDir, *SettingsFile);
    DataQuery = std::make_unique<RankDatabase>(m_connectionString);
    m_sortQueryDb = std::make_unique<RankDatabase>(m_connectionString);
    LoadSendSettings();
    StopRequested = false;

    // A missing list is an empty one; a list that cannot be read is said.
    runReported([&] { m_sites->load(ProgramDir + QStringLiteral("Url.txt")); });
    // No statistics page is visited: the program sends nothing anywhere at start-up.
}

void TMainForm::loadEngines() {
    // The engines are the user's to change in "Setting.ini": read at start, before each run and
    // after the settings dialog.
    setCurrentEngineProfiles(loadEngineProfiles(*SettingsFile));
    fillEngineChoice(ui->SearcherCombox, false);
}

void TMainForm::LoadSendSettings() {
    ui->ThreadCount->setValue(Settings::ThreadCount.read(*SettingsFile));
    ui->SendCount->setValue(Settings::SendCount.read(*SettingsFile));
}

void TMainForm::SaveSendSettings() {
    const int threads = spinValue(ui->ThreadCount, ui->ThreadCount->minimum());
    const int passes = spinValue(ui->SendCount, ui->SendCount->minimum());
    Settings::ThreadCount.write(*SettingsFile, threads);
    Settings::SendCount.write(*SettingsFile, passes);
}

void TMainForm::SetStatusText(const Text& text) {
    if (QThread::currentThread() != thread()) {
        std::lock_guard lock(StatusLock);
        const bool posted = m_pendingStatus.has_value();
        m_pendingStatus = text;
        // During a send run the progress timer shows the newest text; a wake-up of the UI
        // thread for each would cost the run more than the text is worth.
        if (!posted && !m_statusPolled)
            QMetaObject::invokeMethod(this, &TMainForm::applyPendingStatus, Qt::QueuedConnection);
        return;
    }
    std::lock_guard lock(StatusLock);
    // This text is newer than anything a worker left pending.
    m_pendingStatus.reset();
    m_statusPanel->setText(gbkToQString(text));
}

void TMainForm::applyPendingStatus() {
    std::lock_guard lock(StatusLock);
    if (m_pendingStatus) {
        m_statusPanel->setText(gbkToQString(*m_pendingStatus));
        m_pendingStatus.reset();
    }
}

QString TMainForm::statusText() const {
    return m_statusPanel->text();
}

void TMainForm::QuitButtonClick() {
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A settings file that refuses the write is said; the window closes all the same.
    runReported([this] { saveGeometry(); });
    FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    StopRequested = true;
    // A rank run ends after the page under way.
    if (m_scan)
        m_scan->stop();
    SortQuery->closeHistory();
    m_sortQueryDb->close();
    m_closed = true;
    m_run.reset();
}

PageLoader& TMainForm::browser() {
    if (!m_browser)
        m_browser = createBrowserPage(ProgramDir + QStringLiteral("browser"));
    return *m_browser;
}

void TMainForm::QuerySortButtonClick() {
    RunRankQueries({{qStringToGbk(ui->QueryWeb->text()), qStringToGbk(ui->QueryKey->text()),
                     ui->SearcherCombox->currentIndex()}});
}

void TMainForm::BatchQueryClick() {
    openDialog<TBatchQueryForm>(this, QStringLiteral("BatchQueryForm"), m_connectionString,
                                m_batch);
    // Taking the lists empties them: "退出" after an earlier batch must not run it again.
    const BatchLists batch = std::exchange(m_batch, {});
    // The dialog's lists become typed queries here, their one way into the program.
    if (!batch.BatchWebs.empty())
        RunRankQueries(parseQueries(batch));
}

void TMainForm::RunRankQueries(std::vector<RankQuery> queries) {
    // One run at a time: the buttons that start one are off until it ends.
    if (m_rankRunActive)
        return;
    loadEngines();
    m_rankRunActive = true;
    ui->QuerySortButton->setEnabled(false);
    ui->BatchQuery->setEnabled(false);
    ui->StopQueryButton->setEnabled(true);
    m_report.clear();
    m_reportWarns = false;
    m_rankError.clear();
    m_scan = std::make_unique<RankScan>(
        browser(), *this, *SettingsFile, ProgramDir, StopRequested,
        [this](const Text& site, const Text& keyword, int engine, const QueryResult& result) {
            const std::optional<int> previous =
                DataQuery->StoreRank(site, keyword, engine, result.rank, result.url);
            // Each stored rank shows at once, not only at the end of a long batch.
            if (!m_closed)
                RefreshHistory();
            return previous;
        });
    m_scan->setSolveBlocks(true);
    connect(m_scan.get(), &RankScan::queryFinished, this, &TMainForm::rankQueryFinished);
    connect(m_scan.get(), &RankScan::verificationNeeded, this, &TMainForm::showVerification);
    connect(m_scan.get(), &RankScan::verificationPassed, this, &TMainForm::hideVerification);
    connect(m_scan.get(), &RankScan::error, this,
            [this](const QString& message) { m_rankError = message; });
    connect(m_scan.get(), &RankScan::progress, this, [this](int query, int queries, int page) {
        m_rankQuery = query;
        m_rankQueries = queries;
        m_rankPage = page;
        showRankProgress();
    });
    // The report is a modal message and the pause after it handles events: both wait until
    // the scan's own signal has returned.
    connect(m_scan.get(), &RankScan::finished, this, &TMainForm::rankRunFinished,
            Qt::QueuedConnection);
    m_rankQuery = 0;
    m_rankElapsed.start();
    m_rankClock->start();
    m_scan->start(std::move(queries));
}

void TMainForm::rankQueryFinished(const RankOutcome& outcome) {
    m_report += reportLine(outcome);
    m_reportWarns |=
        outcome.result.outcome == Outcome::Blocked || outcome.result.outcome == Outcome::Failed;
}

void TMainForm::rankRunFinished() {
    struct Reenable {
        TMainForm* form;
        ~Reenable() {
            form->hideVerification();
            form->m_scan.reset();
            form->m_rankClock->stop();
            form->m_rankProgressPanel->clear();
            form->m_rankRunActive = false;
            form->ui->QuerySortButton->setEnabled(true);
            form->ui->BatchQuery->setEnabled(true);
            form->ui->StopQueryButton->setEnabled(false);
        }
    } reenable{this};
    // Nothing runs in a window that is gone.
    if (m_closed)
        return;
    // Said once, in the run's one message; the ranks stand without the copy of the pages.
    const QString fileError = m_scan && !m_scan->fileError().isEmpty()
                                  ? m_scan->fileError() + QLatin1Char('.')
                                  : QString();
    if (!m_rankError.isEmpty()) {
        MessageBox::error(
            this, m_rankError + QLatin1Char('.') +
                      (fileError.isEmpty() ? QString() : QStringLiteral("\r\n") + fileError));
        return;
    }
    // A block or a failure is no result: the report says so in a warning.
    if (m_reportWarns || !fileError.isEmpty())
        MessageBox::warning(this, m_report + fileError);
    else if (!m_report.isEmpty())
        MessageBox::information(this, m_report);
    PumpWait(1000);
    if (!m_closed)
        RefreshHistory();
}

void TMainForm::showVerification() {
    if (!m_browserView) {
        m_browserView = createBrowserView(browser(), ui->SortWebTabSheet);
        m_browserView->setObjectName(QStringLiteral("WebBrowser"));
        QLayout* layout = ui->SortWebTabSheet->layout();
        if (!layout)
            layout = new QVBoxLayout(ui->SortWebTabSheet);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_browserView);
    }
    // Shown where the person works: the rank-query tab, below the query fields.
    ui->SEOPageControl->setCurrentWidget(ui->QuerySortTabSheet);
    const int tab = ui->SortPageControl->indexOf(ui->SortWebTabSheet);
    ui->SortPageControl->setTabVisible(tab, true);
    ui->SortPageControl->setCurrentIndex(tab);
}

void TMainForm::hideVerification() {
    const int tab = ui->SortPageControl->indexOf(ui->SortWebTabSheet);
    if (!ui->SortPageControl->isTabVisible(tab))
        return;
    ui->SortPageControl->setCurrentWidget(ui->SortGrid);
    ui->SortPageControl->setTabVisible(tab, false);
}

void TMainForm::stopQueryButtonClick() {
    if (m_scan)
        m_scan->stop();
}

QString TMainForm::rankProgressText() const {
    return m_rankProgressPanel->text();
}

void TMainForm::showRankProgress() {
    if (!m_scan || m_rankQuery == 0)
        return;
    const qint64 seconds = m_rankElapsed.elapsed() / 1000;
    m_rankProgressPanel->setText(QStringLiteral("查询 %1/%2 · 第 %3 页 · %4:%5")
                                     .arg(m_rankQuery)
                                     .arg(m_rankQueries)
                                     .arg(m_rankPage)
                                     .arg(seconds / 60)
                                     .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void TMainForm::StoreRank(const Text& site, const Text& keyword, int engine, int rank,
                          const QString& url) {
    DataQuery->StoreRank(site, keyword, engine, rank, url);
}

void TMainForm::QuerySortTabSheetShow() {
    if (ui->SEOPageControl->currentWidget() == ui->QuerySortTabSheet)
        RefreshHistory();
}

void TMainForm::RefreshHistory() {
    SortQuery->closeHistory();
    SortQuery->RefreshHistory(*m_sortQueryDb);
    // A new query brings new columns; the id stays hidden.
    ui->SortDBGrid->setColumnHidden(HistoryModel::Id, true);
    const int charWidth = ui->SortDBGrid->fontMetrics().averageCharWidth();
    // Never narrower than the column's title or what it shows.
    for (int column = HistoryModel::Web; column <= HistoryModel::QueryDate; ++column) {
        ui->SortDBGrid->resizeColumnToContents(column);
        ui->SortDBGrid->setColumnWidth(column,
                                       std::max(HistoryModel::columnChars(column) * charWidth,
                                                ui->SortDBGrid->columnWidth(column)));
    }
    // The first row becomes current, which fills the query fields.
    if (m_historyView->rowCount() > 0)
        ui->SortDBGrid->setCurrentIndex(m_historyView->index(0, HistoryModel::Web));
}

void TMainForm::SortQueryAfterScroll() {
    const int row = m_historyView->mapToSource(ui->SortDBGrid->currentIndex()).row();
    if (row < 0)
        return;
    auto field = [&](int column) { return SortQuery->index(row, column).data(Qt::EditRole); };
    ui->QueryWeb->setText(field(HistoryModel::Web).toString());
    ui->QueryKey->setText(field(HistoryModel::SearchKey).toString());
    const int engine =
        SortQuery->QSqlQueryModel::data(SortQuery->index(row, HistoryModel::SearcherType)).toInt();
    ui->SearcherCombox->setCurrentIndex(engine >= 0 && engine < ui->SearcherCombox->count() ? engine
                                                                                            : -1);
}

void TMainForm::deleteHistoryRow() {
    const int row = ui->SortDBGrid->currentIndex().row();
    if (row < 0 ||
        MessageBox::confirm(this, QStringLiteral("Delete record?")) != MessageBox::Answer::Ok)
        return;
    m_sortQueryDb->deleteRank(
        SortQuery->idAt(m_historyView->mapToSource(m_historyView->index(row, 0)).row()));
    RefreshHistory();
    if (m_historyView->rowCount() > 0)
        ui->SortDBGrid->setCurrentIndex(
            m_historyView->index(std::min(row, m_historyView->rowCount() - 1), HistoryModel::Web));
}

QList<QStringList> TMainForm::shownHistory() const {
    // The columns of the command line's CSV, so exports read the same way wherever they came
    // from.
    QList<QStringList> table{historyTableHeader()};
    for (int row = 0; row < m_historyView->rowCount(); ++row) {
        auto cell = [&](int column) { return m_historyView->index(row, column).data().toString(); };
        table << QStringList{
            cell(HistoryModel::Web),
            cell(HistoryModel::SearchKey),
            cell(HistoryModel::SearcherType),
            cell(HistoryModel::SortNum),
            cell(HistoryModel::QueryDate),
            m_historyView->index(row, HistoryModel::Web).data(Qt::ToolTipRole).toString()};
    }
    return table;
}

void TMainForm::exportHistoryCsv() {
    const QString path = MessageBox::saveFileName(this, QStringLiteral("导出为 CSV"),
                                                  ProgramDir + QStringLiteral("排名历史.csv"),
                                                  QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    // UTF-8 with its byte-order mark, so spreadsheet programs read the Chinese as it is.
    QString csv = QChar(0xFEFF);
    for (const QStringList& row : shownHistory())
        csv += csvLine(row) + QStringLiteral("\r\n");
    const QByteArray bytes = csv.toUtf8();
    if (!replaceFileAtomically(
            path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
}

void TMainForm::exportHistoryXlsx() {
    const QString path = MessageBox::saveFileName(this, QStringLiteral("导出为 Excel"),
                                                  ProgramDir + QStringLiteral("排名历史.xlsx"),
                                                  QStringLiteral("Excel (*.xlsx)"));
    if (path.isEmpty())
        return;
    QList<QStringList> table = shownHistory();
    const QStringList header = table.takeFirst();
    writeXlsxTable(path, QStringLiteral("排名历史"), header, table);
}

void TMainForm::importHistoryCsv() {
    const QString path = MessageBox::openFileName(this, QStringLiteral("从 CSV 导入"), ProgramDir,
                                                  QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    const RankDatabase::ImportCount count = ::importHistoryCsv(
        *m_sortQueryDb, path, [](const QString& name) { return findEngine(name); });
    RefreshHistory();
    MessageBox::information(this, QStringLiteral("已导入 %1 条记录；%2 条已在历史中，保持不变。")
                                      .arg(count.added)
                                      .arg(count.kept));
}

void TMainForm::showRankChart() {
    const int row = m_historyView->mapToSource(ui->SortDBGrid->currentIndex()).row();
    if (row < 0)
        return;
    const QString site = SortQuery->index(row, HistoryModel::Web).data(Qt::EditRole).toString();
    const QString keyword =
        SortQuery->index(row, HistoryModel::SearchKey).data(Qt::EditRole).toString();
    const RankTrend trend =
        makeRankTrend(m_sortQueryDb->trendRows(qStringToGbk(site), qStringToGbk(keyword)));
    auto* dialog = new RankChartDialog(trend, site, keyword, ProgramDir, this);
    dialog->show();
}

void TMainForm::AddUrlButtonClick() {
    const Text site = trimText(qStringToGbk(ui->Url->text()));
    ui->Url->setText(gbkToQString(site));
    if (site.empty())
        return;
    // A pasted line break would write two sites; the text stays for the user to mend.
    if (SiteList::holdsControlCharacter(site)) {
        MessageBox::warning(this, QStringLiteral("网址不能包含换行符等控制字符。"));
        return;
    }
    m_sites->append(site);
    m_sites->save(ProgramDir + QStringLiteral("Url.txt"));
}

void TMainForm::StartButtonClick() {
    // One run at a time: the button is off until "完成", this guards other ways in.
    if (m_run)
        return;
    SaveSendSettings();
    // Without a template there is nothing to send: the user is told what the file is and
    // where it goes, and the last run's log stays.
    const QString templates = ProgramDir + QStringLiteral("SL.txt");
    m_dispenser->LoadTemplates(templates);
    if (!m_dispenser->hasTemplates()) {
        MessageBox::warning(this, noTemplatesMessage(templates));
        return;
    }
    const int workers = spinValue(ui->ThreadCount, ui->ThreadCount->minimum());
    // https and redirects as the settings dialog left them.
    FetchOptions options = m_fetchOptions;
    readFetchSettings(*SettingsFile, options);
    m_run = startSendRun(ProgramDir, *m_sites, *m_dispenser, *this, options, workers);
    m_jobTotal = m_dispenser->jobCount();
    ui->StartButton->setEnabled(false);
    connect(m_run.get(), &SendRun::finished, this, &TMainForm::sendRunFinished,
            Qt::QueuedConnection);
    m_sendElapsed.start();
    m_progressPanel->show();
    {
        std::lock_guard lock(StatusLock);
        m_statusPolled = true;
    }
    showSendProgress();
    m_progressTimer->start();
}

void TMainForm::sendRunFinished() {
    if (!m_run || !m_run->isFinished())
        return;
    showSendProgress();
    m_progressTimer->stop();
    {
        std::lock_guard lock(StatusLock);
        m_statusPolled = false;
    }
    m_lastReport = m_run->report();
    const QString runError = m_run->error();
    m_run.reset();
    ui->StartButton->setEnabled(true);
    SetStatusText(qStringToGbk(sendSummary(*m_lastReport)));
    if (!runError.isEmpty())
        MessageBox::error(this, runError + QLatin1Char('.'));
}

void TMainForm::showSendProgress() {
    applyPendingStatus();
    if (!m_run)
        return;
    const long long done = m_run->jobsDone();
    m_progressPanel->setValue(
        m_jobTotal > 0 ? static_cast<int>(std::min<long long>(done, m_jobTotal) * 1000 / m_jobTotal)
                       : 0);
    m_progressPanel->setFormat(::sendProgressText(done, m_jobTotal, m_sendElapsed.elapsed()));
}

QString TMainForm::sendProgressText() const {
    return m_progressPanel->text();
}

void TMainForm::cleanTemplatesMenuClick() {
    const QString path = ProgramDir + QStringLiteral("SL.txt");
    if (m_run) {
        MessageBox::information(this, QStringLiteral("群发进行中，请在完成后再清理。"));
        return;
    }
    const size_t dead = m_lastReport ? m_lastReport->deadLines().size() : 0;
    if (!m_lastReport) {
        MessageBox::information(this,
                                QStringLiteral("还没有群发过：群发一次后，才知道哪些模板失效。"));
        return;
    }
    if (dead == 0) {
        MessageBox::information(this, QStringLiteral("上次群发没有失效的模板。"));
        return;
    }
    if (MessageBox::confirm(this,
                            QStringLiteral("从 %1 删除上次群发中对所有网址都失败的 %2 个模板？"
                                           "原文件将保存为 SL.txt.bak。")
                                .arg(QDir::toNativeSeparators(path))
                                .arg(dead)) != MessageBox::Answer::Ok)
        return;
    const int removed = removeDeadTemplates(path, *m_lastReport);
    m_lastReport.reset();
    MessageBox::information(
        this, QStringLiteral("已删除 %1 个失效模板；原文件保存为 SL.txt.bak。").arg(removed));
}

void TMainForm::SettingMenuClick() {
    openDialog<TSettingForm>(this, QStringLiteral("SettingForm"), *SettingsFile);
    loadEngines();
}

void TMainForm::AboutMenuClick() {
    openDialog<TAboutForm>(this, QStringLiteral("AboutForm"));
}
