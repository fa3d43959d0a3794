#include "app/batchqueryform.h"

#include "app/application.h"
#include "app/batchmodel.h"
#include "app/enginechoice.h"
#include "app/messagebox.h"
#include "store/rankdb.h"
#include "text/codepage.h"
#include "ui_batchqueryform.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QShortcut>

TBatchQueryForm::TBatchQueryForm(const DatabaseAddress& database, BatchLists& handOver,
                                 QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TBatchQueryForm>()),
      BatchQuery(std::make_unique<RankDatabase>(database)), m_handOver(handOver) {
    ui->setupUi(this);
    fillEngineChoice(ui->SearcherCombox, AllEngines::First);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // The designed size is the smallest; a larger dialog gives the grid the room.
    setMinimumSize(size());

    m_model = new BatchModel(this);
    ui->BatchQueryGrid->setModel(m_model);
    const int charWidth = ui->BatchQueryGrid->fontMetrics().averageCharWidth();
    // Never narrower than the column's title or what it shows.
    for (int column = 0; column < BatchModel::ColumnCount; ++column) {
        ui->BatchQueryGrid->resizeColumnToContents(column);
        ui->BatchQueryGrid->setColumnWidth(column,
                                           std::max(BatchModel::columnChars(column) * charWidth,
                                                    ui->BatchQueryGrid->columnWidth(column)));
    }

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("SortGridPopupMenu"));
    QAction* deleteMenu = menu->addAction(QStringLiteral("删除"));
    deleteMenu->setObjectName(QStringLiteral("DeleteMenu"));
    connectReported(deleteMenu, &QAction::triggered, this, &TBatchQueryForm::DeleteMenuClick);
    connect(
        ui->BatchQueryGrid, &QWidget::customContextMenuRequested, menu,
        [this, menu](QPoint at) { menu->popup(ui->BatchQueryGrid->viewport()->mapToGlobal(at)); });
    auto* deleteKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete), ui->BatchQueryGrid);
    deleteKey->setContext(Qt::WidgetShortcut);
    connectReported(deleteKey, &QShortcut::activated, this, &TBatchQueryForm::deleteWithQuestion);

    connectReported(ui->AddBatchListButton, &QPushButton::clicked, this,
                    &TBatchQueryForm::AddBatchListButtonClick);
    connectReported(ui->StartQueryButton, &QPushButton::clicked, this,
                    &TBatchQueryForm::StartQueryButtonClick);
    connectReported(ui->QuitButton, &QPushButton::clicked, this, &TBatchQueryForm::QuitButtonClick);
    runReported([this] { FormCreate(); });
}

TBatchQueryForm::~TBatchQueryForm() = default;

void TBatchQueryForm::FormCreate() {
    RefreshBatchList();
}

void TBatchQueryForm::RefreshBatchList() {
    m_model->RefreshBatchList(*BatchQuery);
    if (m_model->rowCount() > 0)
        ui->BatchQueryGrid->setCurrentIndex(m_model->index(0, BatchModel::Web));
}

void TBatchQueryForm::AddBatchListButtonClick() {
    auto trimmed = [](QLineEdit* edit, const QString& what) {
        Text text = trimText(qStringToGbkStrict(edit->text(), what));
        edit->setText(gbkToQString(text));
        return text;
    };
    const Text site = trimmed(ui->QueryWeb, QStringLiteral("The site"));
    if (site.empty()) {
        MessageBox::information(this, QStringLiteral("查询网址不能为空"));
        ui->QueryWeb->setFocus();
        return;
    }
    const Text keyword = trimmed(ui->QueryKey, QStringLiteral("The keyword"));
    if (keyword.empty()) {
        MessageBox::information(this, QStringLiteral("查询的关键词不能为空"));
        ui->QueryKey->setFocus();
        return;
    }
    m_model->closeBatchList();
    try {
        BatchQuery->insertBatch(site, keyword, ui->SearcherCombox->currentIndex());
    } catch (...) {
        // The list is shown again, so a refused entry never makes it look empty.
        RefreshBatchList();
        throw;
    }
    RefreshBatchList();
}

void TBatchQueryForm::deleteWithQuestion() {
    if (MessageBox::confirm(this, QStringLiteral("Delete record?")) == MessageBox::Answer::Ok)
        deleteCurrentRow();
}

void TBatchQueryForm::DeleteMenuClick() {
    deleteCurrentRow();
}

void TBatchQueryForm::deleteCurrentRow() {
    if (m_model->rowCount() == 0)
        throw AppError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const int row = std::max(0, ui->BatchQueryGrid->currentIndex().row());
    BatchQuery->deleteBatch(m_model->rows()[static_cast<size_t>(row)].id);
    RefreshBatchList();
    if (m_model->rowCount() > 0)
        ui->BatchQueryGrid->setCurrentIndex(
            m_model->index(std::min(row, m_model->rowCount() - 1), BatchModel::Web));
}

void TBatchQueryForm::StartQueryButtonClick() {
    m_handOver = {};
    BatchLists lists = makeBatchLists(m_model->rows());
    m_model->closeBatchList();
    BatchQuery->close();
    m_handOver = std::move(lists);
    close();
}

void TBatchQueryForm::QuitButtonClick() {
    close();
}

void TBatchQueryForm::closeEvent(QCloseEvent* event) {
    m_model->closeBatchList();
    BatchQuery->close();
    QDialog::closeEvent(event);
}
