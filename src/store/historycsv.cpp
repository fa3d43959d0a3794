#include "store/historycsv.h"

#include "text/apperror.h"
#include "text/codepage.h"
#include "text/csvtext.h"
#include "text/datafile.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <set>
#include <tuple>

const QStringList& historyTableHeader() {
    static const QStringList header{QStringLiteral("网址"),     QStringLiteral("关键词"),
                                    QStringLiteral("搜索引擎"), QStringLiteral("排名"),
                                    QStringLiteral("查询日期"), QStringLiteral("结果网址")};
    return header;
}

namespace {

const QString kNotFoundText = QStringLiteral("未找到");

} // namespace

QString rankText(int rank) {
    return rank == 0 ? kNotFoundText : QString::number(rank);
}

std::optional<int> rankFromText(const QString& text) {
    if (text.trimmed() == kNotFoundText)
        return 0;
    bool isNumber = false;
    const int rank = text.toInt(&isNumber);
    if (!isNumber || rank < 0 || rank > 32767)
        return std::nullopt;
    return rank;
}

std::vector<RankDatabase::HistoryRow> readHistoryCsv(const QByteArray& csv,
                                                     const EngineNumber& engineNumber) {
    const QList<QStringList> records = readCsv(csv);
    if (records.isEmpty())
        throw AppError(QStringLiteral("The file holds no history table"));
    const QStringList& titles = records.front();
    enum { Site, Keyword, Engine, Rank, Day, Url };
    std::array<qsizetype, 6> column{};
    for (int i = Site; i <= Url; ++i) {
        column[i] = titles.indexOf(historyTableHeader()[i]);
        if (column[i] < 0 && i != Url)
            throw AppError(QStringLiteral("The file holds no history table: the first line "
                                          "lacks the column %1")
                               .arg(historyTableHeader()[i]));
    }
    std::vector<RankDatabase::HistoryRow> rows;
    for (qsizetype n = 1; n < records.size(); ++n) {
        const QStringList& record = records[n];
        auto fail = [&](const QString& why) {
            // Records are counted from the title line as line 1; a field with a line break
            // makes this the record's number rather than the file's line.
            throw AppError(QStringLiteral("Record %1 of the file: %2").arg(n + 1).arg(why));
        };
        if (record.size() != titles.size())
            fail(QStringLiteral("%1 fields where the first line has %2")
                     .arg(record.size())
                     .arg(titles.size()));
        RankDatabase::HistoryRow row{};
        const QString& site = record[column[Site]];
        const QString& keyword = record[column[Keyword]];
        if (site.trimmed().isEmpty() || keyword.trimmed().isEmpty())
            fail(QStringLiteral("the site or the keyword is empty"));
        row.site = qStringToGbk(site);
        row.keyword = qStringToGbk(keyword);
        row.engine = engineNumber(record[column[Engine]]);
        if (row.engine < 0)
            fail(QStringLiteral("no engine is called \"%1\"").arg(record[column[Engine]]));
        const std::optional<int> rank = rankFromText(record[column[Rank]]);
        if (!rank)
            fail(QStringLiteral("the rank \"%1\" is neither 未找到 nor a whole number from 0 to "
                                "32767")
                     .arg(record[column[Rank]]));
        row.rank = *rank;
        row.day = QDate::fromString(record[column[Day]], QStringLiteral("yyyy-MM-dd"));
        if (!row.day.isValid())
            fail(QStringLiteral("the date \"%1\" is no date of the form yyyy-MM-dd")
                     .arg(record[column[Day]]));
        if (column[Url] >= 0)
            row.url = record[column[Url]];
        rows.push_back(std::move(row));
    }
    return rows;
}

RankDatabase::ImportCount importHistoryCsv(RankDatabase& database, const QString& path,
                                           const EngineNumber& engineNumber) {
    const QByteArray bytes = readDataFile(path);
    try {
        std::vector<RankDatabase::HistoryRow> rows = readHistoryCsv(bytes, engineNumber);
        // A row given twice counts where it first stands.
        std::set<std::tuple<Text, Text, int, QDate>> seen;
        const auto repeated = std::remove_if(rows.begin(), rows.end(), [&seen](const auto& row) {
            return !seen.insert({row.site, row.keyword, row.engine, row.day}).second;
        });
        const int repeats = static_cast<int>(rows.end() - repeated);
        rows.erase(repeated, rows.end());
        // An export lists the newest first: the rows go in from the last line up, so that the
        // grid, newest first, shows them in the order of the file.
        std::reverse(rows.begin(), rows.end());
        RankDatabase::ImportCount count = database.importRows(rows);
        count.kept += repeats;
        return count;
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("%1: %2").arg(path, e.message()));
    }
}
