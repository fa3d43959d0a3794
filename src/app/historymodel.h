#pragma once

#include <QSortFilterProxyModel>
#include <QSqlQueryModel>

class RankDatabase;

// The newest 100 rows of the rank history as the grid shows them: 网址, 关键词, 搜索引擎,
// 排名 ("未找到" for a query that did not find the site), 变化 (against the latest earlier day: ↑
// green, ↓ red), 查询日期 (the id is kept in a hidden first column for deleting a row). The
// destination that ranked is read with them and shown as the site's tooltip; it is no column of the
// grid.
class HistoryModel : public QSqlQueryModel {
    Q_OBJECT

public:
    // Change holds the rank of the latest earlier day and shows the difference.
    enum Column { Id, Web, SearchKey, SearcherType, SortNum, Change, QueryDate, Url };

    using QSqlQueryModel::QSqlQueryModel;

    // Reads the newest rows afresh; throws AppError when the database cannot be read.
    void RefreshHistory(RankDatabase& database);
    // Lets go of the query, so the connection can close.
    void closeHistory() { clear(); }

    qint64 idAt(int row) const;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Width in characters of each shown column.
    static int columnChars(int column);
};

// The history as the grid shows it: only the rows whose site, keyword or engine holds the
// filter text (any case), sorted by the column the user chose, else newest first.
class HistoryFilterModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setFilterText(const QString& text);
    // Rows are numbered as shown, 1 up, whatever their place in the history.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_text;
};
