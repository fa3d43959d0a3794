#include "app/batchmodel.h"

#include "rank/engines.h"
#include "text/codepage.h"

void BatchModel::RefreshBatchList(RankDatabase& database) {
    beginResetModel();
    m_rows.clear();
    try {
        m_rows = database.batchRows();
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
}

void BatchModel::closeBatchList() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int BatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int BatchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BatchModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const RankDatabase::BatchRow& row = m_rows[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case Web:
        return gbkToQString(row.site);
    case SearchKey:
        return gbkToQString(row.keyword);
    case SearcherType:
        return BatchQuerySearcherTypeGetText(row.code);
    default:
        return {};
    }
}

QVariant BatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const titles[] = {"网址", "关键词", "搜索引擎"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(titles[section]) : QVariant();
}

int BatchModel::columnChars(int column) {
    static const int chars[] = {28, 28, 10};
    return column >= 0 && column < ColumnCount ? chars[column] : 0;
}
