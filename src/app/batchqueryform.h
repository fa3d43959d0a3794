#pragma once

#include "rank/batchqueries.h"

#include <QDialog>
#include <memory>

class BatchModel;
class RankDatabase;
struct DatabaseAddress;
namespace Ui {
class TBatchQueryForm;
}

// "排名批量查询": the standing list of rank queries kept in the rank database.
class TBatchQueryForm : public QDialog {
    Q_OBJECT

public:
    TBatchQueryForm(const DatabaseAddress& database, BatchLists& handOver, QWidget* parent);
    ~TBatchQueryForm() override;

    void AddBatchListButtonClick();
    void DeleteMenuClick();
    void StartQueryButtonClick();
    void QuitButtonClick();
    void RefreshBatchList();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void deleteWithQuestion();
    void deleteCurrentRow();

    std::unique_ptr<Ui::TBatchQueryForm> ui;
    std::unique_ptr<RankDatabase> BatchQuery;
    BatchModel* m_model = nullptr;
    BatchLists& m_handOver;
};
