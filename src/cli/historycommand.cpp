#include "cli/commands.h"
#include "cli/output.h"
#include "modules/reportloader.h"
#include "rank/engines.h"
#include "store/historycsv.h"
#include "store/rankdb.h"
#include "store/ranktrend.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/csvtext.h"

int runHistory(const Options& o) {
    if (!o.args.isEmpty())
        throw UsageError("history takes no arguments");
    const int outputs = int(o.csv) + int(!o.xlsx.isEmpty()) + int(!o.chart.isEmpty()) +
                        int(!o.importFile.isEmpty());
    if (outputs > 1)
        throw UsageError("history takes one of --csv, --xlsx, --chart and --import");
    const bool charting = !o.chart.isEmpty();
    if (charting == o.site.isEmpty() || charting == o.keyword.isEmpty())
        throw UsageError("history --chart needs --site and --keyword, and they need --chart");
    loadEngines(o);
    RankDatabase database(databaseAddress(o));
    if (!o.importFile.isEmpty()) {
        const RankDatabase::ImportCount count = importHistoryCsv(
            database, o.importFile, [](const QString& name) { return findEngine(name); });
        printOut(QStringLiteral("%1 rows imported, %2 already in the history kept as they were")
                     .arg(count.added)
                     .arg(count.kept));
        return 0;
    }
    if (!o.chart.isEmpty()) {
        const RankTrend trend = makeRankTrend(
            database.trendRows(qStringToGbkStrict(o.site, QStringLiteral("--site")),
                               qStringToGbkStrict(o.keyword, QStringLiteral("--keyword"))));
        if (trend.lines.empty())
            throw AppError(
                QStringLiteral("No result is stored for %1 and %2").arg(o.site, o.keyword));
        saveRankChartPng(trend, rankChartTitle(o.site, o.keyword), o.chart);
        printOut(QStringLiteral("chart written to %1").arg(o.chart));
        return 0;
    }
    // The destination that ranked goes to spreadsheets; the table on a terminal stays narrow.
    const bool wide = o.csv || !o.xlsx.isEmpty();
    QStringList header = historyTableHeader();
    if (!wide)
        header.removeLast();
    QList<QStringList> rows;
    for (const RankDatabase::HistoryRow& row : database.historyRows(o.limit)) {
        rows << QStringList{gbkToQString(row.site), gbkToQString(row.keyword),
                            SortQuerySearcherTypeGetText(row.engine), rankText(row.rank),
                            row.day.toString(Qt::ISODate)};
        if (wide)
            rows.back() << row.url;
    }
    if (!o.xlsx.isEmpty()) {
        writeXlsxTable(o.xlsx, QStringLiteral("排名历史"), header, rows);
        printOut(QStringLiteral("%1 rows written to %2").arg(rows.size()).arg(o.xlsx));
    } else if (o.csv) {
        printOut(csvLine(header));
        for (const QStringList& row : rows)
            printOut(csvLine(row));
    } else {
        printOut(alignedTable(header, rows));
    }
    return 0;
}
