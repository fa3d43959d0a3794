#pragma once

#include "store/rankdb.h"

#include <QAbstractTableModel>

// The standing batch list as its grid shows it: 网址, 关键词, 搜索引擎 (全部, 百度, ...).
class BatchModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Web, SearchKey, SearcherType, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Reads the list afresh (the list is empty again when that fails: AppError).
    void RefreshBatchList(RankDatabase& database);
    void closeBatchList();
    const std::vector<RankDatabase::BatchRow>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    static int columnChars(int column);

private:
    std::vector<RankDatabase::BatchRow> m_rows;
};
