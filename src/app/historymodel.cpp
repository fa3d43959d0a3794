#include "app/historymodel.h"

#include "rank/engines.h"
#include "rank/reportlines.h"
#include "store/historycsv.h"
#include "store/rankdb.h"
#include "text/apperror.h"

#include <QColor>
#include <QDate>
#include <QSqlError>
#include <QSqlQuery>
#include <climits>

void HistoryModel::RefreshHistory(RankDatabase& database) {
    clear();
    QSqlQuery query(database.connection());
    if (!query.exec(QStringLiteral(
            "SELECT id, Web, SearchKey, SearcherType, SortNum, "
            "(SELECT p.SortNum FROM QuerySort p WHERE p.Web = q.Web AND p.SearchKey = q.SearchKey "
            "AND p.SearcherType = q.SearcherType AND p.QueryDate < q.QueryDate "
            "ORDER BY p.QueryDate DESC, p.id DESC LIMIT 1), QueryDate, Url "
            "FROM QuerySort q ORDER BY id DESC LIMIT 100")))
        throw AppError(query.lastError().text());
    setQuery(std::move(query));
    // Every row at once: the grid is small and the query must not hold the file open.
    while (canFetchMore())
        fetchMore();
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return std::min(QSqlQueryModel::columnCount(parent), static_cast<int>(Url));
}

qint64 HistoryModel::idAt(int row) const {
    return QSqlQueryModel::data(index(row, Id)).toLongLong();
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::ToolTipRole && index.column() == Web) {
        const QString url = QSqlQueryModel::data(createIndex(index.row(), Url)).toString();
        return url.isEmpty() ? QVariant() : QVariant(url);
    }
    if (index.column() == Change && (role == Qt::DisplayRole || role == Qt::ForegroundRole)) {
        const int rank = QSqlQueryModel::data(index.siblingAtColumn(SortNum)).toInt();
        const QVariant before = QSqlQueryModel::data(index);
        const QString change =
            rankChange(rank, before.isNull() ? std::nullopt : std::optional<int>(before.toInt()));
        if (role == Qt::DisplayRole)
            return change;
        if (change.startsWith(QChar(u'↑')))
            return QColor(Qt::darkGreen);
        if (change.startsWith(QChar(u'↓')))
            return QColor(Qt::red);
        return {};
    }
    QVariant value = QSqlQueryModel::data(index, role);
    if (role != Qt::DisplayRole)
        return value;
    switch (index.column()) {
    case SearcherType:
        return SortQuerySearcherTypeGetText(value.isNull() ? -1 : value.toInt());
    case SortNum:
        return rankText(value.toInt());
    case QueryDate:
        // yyyy-MM-dd whatever the locale: a Chinese window, a sortable text.
        return QDate::fromString(value.toString(), Qt::ISODate).toString(Qt::ISODate);
    default:
        return value;
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QSqlQueryModel::headerData(section, orientation, role);
    static const char* const titles[] = {"id",   "网址", "关键词",  "搜索引擎",
                                         "排名", "变化", "查询日期"};
    return section >= 0 && section <= QueryDate ? QString::fromUtf8(titles[section]) : QVariant();
}

int HistoryModel::columnChars(int column) {
    static const int chars[] = {0, 24, 24, 8, 8, 6, 10};
    return column >= 0 && column <= QueryDate ? chars[column] : 0;
}

void HistoryFilterModel::setFilterText(const QString& text) {
    m_text = text.trimmed();
    invalidateFilter();
}

QVariant HistoryFilterModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

bool HistoryFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (left.column() != HistoryModel::SortNum)
        return QSortFilterProxyModel::lessThan(left, right);
    // Ranks as numbers; "未找到" (0) after every rank.
    auto key = [this](const QModelIndex& index) {
        const int rank = sourceModel()->data(index, Qt::EditRole).toInt();
        return rank == 0 ? INT_MAX : rank;
    };
    return key(left) < key(right);
}

bool HistoryFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (m_text.isEmpty())
        return true;
    for (const int column :
         {HistoryModel::Web, HistoryModel::SearchKey, HistoryModel::SearcherType}) {
        const QModelIndex cell = sourceModel()->index(sourceRow, column, sourceParent);
        if (cell.data().toString().contains(m_text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
