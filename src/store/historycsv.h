#pragma once

#include "store/rankdb.h"

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// The columns of an exported history, in the window and on the command line alike: 网址, 关键词,
// 搜索引擎, 排名, 查询日期, 结果网址.
const QStringList& historyTableHeader();

// The 排名 of a history row as the grid and the exports show it: the rank, or "未找到" for the 0
// that a query which did not find the site stores. rankFromText reads either back; nullopt for
// anything else.
QString rankText(int rank);
std::optional<int> rankFromText(const QString& text);

// The engine's number for a name in the engine column (a key, a display name or a number); -1
// when no engine has it. The engine table lives above the history, so its callers pass it in.
using EngineNumber = std::function<int(const QString& name)>;

// The rows of an exported history CSV (UTF-8, with or without its byte-order mark). Columns are
// found by their titles, so a file with them reordered or with more columns reads as well; 结果网址
// may be missing. A file that is not such a table throws AppError naming the line and the field.
std::vector<RankDatabase::HistoryRow> readHistoryCsv(const QByteArray& csv,
                                                     const EngineNumber& engineNumber);

// Reads an exported history CSV and adds the rows the database lacks (RankDatabase::importRows);
// throws AppError when the file cannot be read or is no such table, and then adds nothing.
RankDatabase::ImportCount importHistoryCsv(RankDatabase& database, const QString& path,
                                           const EngineNumber& engineNumber);
