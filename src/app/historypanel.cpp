#include "app/historypanel.h"

#include "app/application.h"
#include "app/historymodel.h"
#include "app/messagebox.h"
#include "app/rankchartdialog.h"
#include "modules/reportloader.h"
#include "rank/engines.h"
#include "store/historycsv.h"
#include "store/rankdb.h"
#include "text/apperror.h"
#include "text/atomicfile.h"
#include "text/codepage.h"
#include "text/csvtext.h"
#include "ui_historypanel.h"

#include <QHeaderView>
#include <QMenu>
#include <QScopeGuard>
#include <QShortcut>

HistoryPanel::HistoryPanel(const QString& programDir, const DatabaseAddress& database,
                           QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::HistoryPanel>()), ProgramDir(programDir),
      m_sortQueryDb(std::make_unique<RankDatabase>(database)) {
    ui->setupUi(this);
    SortQuery = new HistoryModel(this);
    m_historyView = new HistoryFilterModel(this);
    m_historyView->setSourceModel(SortQuery);
    ui->SortDBGrid->setModel(m_historyView);
    // Newest first until the user picks a column to sort by; only then does a title show
    // the sort mark (and take the room for it).
    QHeaderView* titles = ui->SortDBGrid->horizontalHeader();
    // The last column takes the room a wider window gives.
    titles->setStretchLastSection(true);
    ui->HistoryFilter->setToolTip(QStringLiteral("按网址、关键词或搜索引擎筛选下面的记录"));
    ui->SortDBGrid->setToolTip(
        QStringLiteral("双击一行看排名走势；右键导出、导入或看走势；Ctrl+Delete 删除一行"));
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
                    &HistoryPanel::SortQueryAfterScroll);

    auto* historyMenu = new QMenu(this);
    historyMenu->setObjectName(QStringLiteral("HistoryPopupMenu"));
    QAction* chart = historyMenu->addAction(QStringLiteral("排名走势…"));
    chart->setObjectName(QStringLiteral("RankChartMenu"));
    connectReported(chart, &QAction::triggered, this, &HistoryPanel::showRankChart);
    connectReported(ui->SortDBGrid, &QAbstractItemView::doubleClicked, this,
                    &HistoryPanel::showRankChart);
    historyMenu->addSeparator();
    QAction* exportCsv = historyMenu->addAction(QStringLiteral("导出为 CSV…"));
    exportCsv->setObjectName(QStringLiteral("ExportCsvMenu"));
    connectReported(exportCsv, &QAction::triggered, this, &HistoryPanel::exportHistoryCsv);
    QAction* exportXlsx = historyMenu->addAction(QStringLiteral("导出为 Excel (XLSX)…"));
    exportXlsx->setObjectName(QStringLiteral("ExportXlsxMenu"));
    connectReported(exportXlsx, &QAction::triggered, this, &HistoryPanel::exportHistoryXlsx);
    QAction* importCsv = historyMenu->addAction(QStringLiteral("从 CSV 导入…"));
    importCsv->setObjectName(QStringLiteral("ImportCsvMenu"));
    connectReported(importCsv, &QAction::triggered, this, &HistoryPanel::importHistoryCsv);
    ui->SortDBGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->SortDBGrid, &QWidget::customContextMenuRequested, historyMenu,
            [this, historyMenu](QPoint at) {
                historyMenu->popup(ui->SortDBGrid->viewport()->mapToGlobal(at));
            });
    auto* deleteRow = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete), ui->SortDBGrid);
    deleteRow->setContext(Qt::WidgetShortcut);
    connectReported(deleteRow, &QShortcut::activated, this, &HistoryPanel::deleteHistoryRow);
}

HistoryPanel::~HistoryPanel() = default;

void HistoryPanel::closeHistory() {
    SortQuery->closeHistory();
    m_sortQueryDb->close();
}

void HistoryPanel::RefreshHistory() {
    readHistory();
    // The first row becomes current, which fills the query fields.
    if (m_historyView->rowCount() > 0)
        ui->SortDBGrid->setCurrentIndex(m_historyView->index(0, HistoryModel::Web));
}

void HistoryPanel::refreshKeepingPlace() {
    const QModelIndex current = ui->SortDBGrid->currentIndex();
    // Ids start at 1: -1 is no row.
    const qint64 id =
        current.isValid() ? SortQuery->idAt(m_historyView->mapToSource(current).row()) : -1;
    const int column = current.isValid() ? current.column() : int(HistoryModel::Web);
    m_quiet = true;
    const auto speak = qScopeGuard([this] { m_quiet = false; });
    readHistory();
    if (id < 0)
        return;
    for (int row = 0; row < m_historyView->rowCount(); ++row) {
        if (SortQuery->idAt(m_historyView->mapToSource(m_historyView->index(row, 0)).row()) == id) {
            ui->SortDBGrid->setCurrentIndex(m_historyView->index(row, column));
            return;
        }
    }
}

void HistoryPanel::readHistory() {
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
}

void HistoryPanel::SortQueryAfterScroll() {
    if (m_quiet)
        return;
    const int row = m_historyView->mapToSource(ui->SortDBGrid->currentIndex()).row();
    if (row < 0)
        return;
    auto field = [&](int column) { return SortQuery->index(row, column).data(Qt::EditRole); };
    const int engine =
        SortQuery->QSqlQueryModel::data(SortQuery->index(row, HistoryModel::SearcherType)).toInt();
    emit recordChosen(field(HistoryModel::Web).toString(),
                      field(HistoryModel::SearchKey).toString(), engine);
}

void HistoryPanel::deleteHistoryRow() {
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

QList<QStringList> HistoryPanel::shownHistory() const {
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

void HistoryPanel::exportHistoryCsv() {
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

void HistoryPanel::exportHistoryXlsx() {
    const QString path = MessageBox::saveFileName(this, QStringLiteral("导出为 Excel"),
                                                  ProgramDir + QStringLiteral("排名历史.xlsx"),
                                                  QStringLiteral("Excel (*.xlsx)"));
    if (path.isEmpty())
        return;
    QList<QStringList> table = shownHistory();
    const QStringList header = table.takeFirst();
    writeXlsxTable(path, QStringLiteral("排名历史"), header, table);
}

void HistoryPanel::importHistoryCsv() {
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

void HistoryPanel::showRankChart() {
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
