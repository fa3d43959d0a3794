#pragma once

#include <QWidget>
#include <memory>

class HistoryFilterModel;
class HistoryModel;
class RankDatabase;
struct DatabaseAddress;
namespace Ui {
class HistoryPanel;
}

// "历史排名查询": the rank history's grid with its filter, the change column, export to CSV or
// XLSX, import from CSV, the rank chart and deleting a row.
class HistoryPanel : public QWidget {
    Q_OBJECT

public:
    HistoryPanel(const QString& programDir, const DatabaseAddress& database,
                 QWidget* parent = nullptr);
    ~HistoryPanel() override;

    // Reads the history afresh; its first row becomes current, which fills the query fields.
    void RefreshHistory();
    // Reads it afresh for a result just stored: the row that was current stays current and
    // the query fields are left as the user typed them.
    void refreshKeepingPlace();
    // The window closes: the history lets its database go.
    void closeHistory();

signals:
    // The current row changed to this site, keyword and engine (-1: none the table knows).
    void recordChosen(const QString& site, const QString& keyword, int engine);

private:
    void readHistory();
    void SortQueryAfterScroll();
    void deleteHistoryRow();
    // The rows the grid shows, as the user filtered and sorted them, header first.
    QList<QStringList> shownHistory() const;
    // ... to a CSV or a spreadsheet file the user chooses.
    void exportHistoryCsv();
    void exportHistoryXlsx();
    // Adds the rows of an exported CSV that the history lacks.
    void importHistoryCsv();
    // "排名走势" of the selected row's site and keyword.
    void showRankChart();

    std::unique_ptr<Ui::HistoryPanel> ui;
    QString ProgramDir;
    // The data set's own connection to the rank database.
    std::unique_ptr<RankDatabase> m_sortQueryDb;
    HistoryModel* SortQuery = nullptr;
    // What the grid shows of SortQuery: filtered and sorted; rows map back to it.
    HistoryFilterModel* m_historyView = nullptr;
    // The program moves the current row: no record is chosen by it.
    bool m_quiet = false;
};
