#pragma once

#include "engines.h"
#include "rankdb.h"

#include <QByteArray>
#include <QStringList>
#include <vector>

// The columns of an exported history, in the window and on the command line alike: 网址, 关键词,
// 搜索引擎, 排名, 查询日期, 结果网址.
const QStringList& historyTableHeader();

// The rows of an exported history CSV (UTF-8, with or without its byte-order mark). Columns are
// found by their titles, so a file with them reordered or with more columns reads as well; 结果网址
// may be missing. A file that is not such a table throws AppError naming the line and the field.
std::vector<RankDatabase::HistoryRow>
readHistoryCsv(const QByteArray& csv, const EngineProfiles& profiles = currentEngineProfiles());

// Reads an exported history CSV and adds the rows the database lacks (RankDatabase::importRows);
// throws AppError when the file cannot be read or is no such table, and then adds nothing.
RankDatabase::ImportCount
importHistoryCsv(RankDatabase& database, const QString& path,
                 const EngineProfiles& profiles = currentEngineProfiles());
