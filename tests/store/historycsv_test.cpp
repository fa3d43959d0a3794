#include "rank/engines.h"
#include "store/historycsv.h"
#include "store/rankdb.h"
#include "store/ranktrend.h"
#include "text/apperror.h"
#include "text/codepage.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

int builtInEngine(const QString& name) {
    return findEngine(name, defaultEngineProfiles());
}

const QDate kDay(2024, 3, 9);

QString runs(const RankTrend::Line& line) {
    QStringList runs;
    for (const auto& run : line.runs) {
        QStringList points;
        for (const RankTrend::Point& p : run)
            points << QStringLiteral("%1=%2").arg(kDay.daysTo(p.day)).arg(p.rank);
        runs << points.join(' ');
    }
    return QStringLiteral("%1: %2").arg(line.engine).arg(runs.join(" | "));
}

// Runs over consecutive days with a rank; a day not found or not queried breaks a run.
TEST(RankTrend, LinesBreakWhereNothingRanked) {
    const struct {
        const char* name;
        std::vector<RankDatabase::TrendRow> rows; // engine, day offset, rank
        QStringList lines;
        int worst;
    } cases[] = {
        {"nothing stored", {}, {}, 0},
        {"one day", {{0, kDay, 4}}, {"0: 0=4"}, 4},
        {"consecutive days",
         {{0, kDay, 4}, {0, kDay.addDays(1), 2}, {0, kDay.addDays(2), 9}},
         {"0: 0=4 1=2 2=9"},
         9},
        {"a day not queried", {{0, kDay, 4}, {0, kDay.addDays(2), 2}}, {"0: 0=4 | 2=2"}, 4},
        {"a day not found",
         {{0, kDay, 4}, {0, kDay.addDays(1), 0}, {0, kDay.addDays(2), 2}},
         {"0: 0=4 | 2=2"},
         4},
        {"never found", {{2, kDay, 0}, {2, kDay.addDays(1), 0}}, {"2: "}, 0},
        {"engines apart",
         {{0, kDay, 1},
          {0, kDay.addDays(1), 3},
          {1, kDay.addDays(1), 30},
          {1, kDay.addDays(2), 20}},
         {"0: 0=1 1=3", "1: 1=30 2=20"},
         30},
        {"two rows of a day: the later",
         {{0, kDay, 4}, {0, kDay, 6}, {0, kDay.addDays(1), 5}},
         {"0: 0=6 1=5"},
         6},
    };
    for (const auto& c : cases) {
        const RankTrend trend = makeRankTrend(c.rows);
        QStringList lines;
        for (const RankTrend::Line& line : trend.lines)
            lines << runs(line);
        EXPECT_EQ(lines, c.lines) << c.name;
        EXPECT_EQ(trend.worst, c.worst) << c.name;
        if (!c.rows.empty()) {
            EXPECT_EQ(trend.first, c.rows.front().day) << c.name;
            EXPECT_EQ(trend.last, c.rows.back().day) << c.name;
        }
    }
}

const char kHeader[] = "\xEF\xBB\xBF网址,关键词,搜索引擎,排名,查询日期,结果网址\r\n";

TEST(HistoryCsv, ReadsExportedRows) {
    const QByteArray csv = QByteArray(kHeader) +
                           "a.com,\"k,1\",百度,3,2024-03-09,https://a.com/x\r\n"
                           "中文.com,中文,sogou,0,2024-03-10,\r\n"
                           "b.com,kw,2,12,2024-03-11,\r\n";
    const std::vector<RankDatabase::HistoryRow> rows = readHistoryCsv(csv, builtInEngine);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].site, "a.com");
    EXPECT_EQ(rows[0].keyword, "k,1");
    EXPECT_EQ(rows[0].engine, 0);
    EXPECT_EQ(rows[0].rank, 3);
    EXPECT_EQ(rows[0].day, kDay);
    EXPECT_EQ(rows[0].url, "https://a.com/x");
    EXPECT_EQ(rows[1].site, qStringToGbk(QStringLiteral("中文.com")));
    EXPECT_EQ(rows[1].engine, 1); // by key as well as by name
    EXPECT_EQ(rows[1].rank, 0);
    EXPECT_EQ(rows[2].engine, 2); // and by number

    // Columns by their titles: reordered, one more, the destination left out.
    const QByteArray reordered = "查询日期,备注,排名,搜索引擎,关键词,网址\n"
                                 "2024-03-09,x,7,好搜,seo,c.com\n";
    const auto other = readHistoryCsv(reordered, builtInEngine);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].site, "c.com");
    EXPECT_EQ(other[0].engine, 2);
    EXPECT_EQ(other[0].rank, 7);
    EXPECT_TRUE(other[0].url.isEmpty());
}

TEST(HistoryCsv, WrongRowsAreNamed) {
    const struct {
        QByteArray body;
        const char* said;
    } cases[] = {
        {"", "The file holds no history table"},
        {"网址,关键词,排名,查询日期\n", "the first line lacks the column 搜索引擎"},
        {"HEADER", "Record 2 of the file: the rank \"x\""},
        {"a.com,k,百度\n", "Record 2 of the file: 3 fields where the first line has 6"},
        {"a.com,k,Google,1,2024-03-09,\n", "no engine is called \"Google\""},
        {"a.com,k,百度,1.5,2024-03-09,\n", "the rank \"1.5\" is neither 未找到 nor a whole number"},
        {"a.com,k,百度,-1,2024-03-09,\n", "the rank \"-1\" is neither 未找到 nor a whole number"},
        {"a.com,k,百度,3,09.03.2024,\n", "the date \"09.03.2024\" is no date"},
        {"a.com,k,百度,3,2024-02-30,\n", "the date \"2024-02-30\" is no date"},
        {" ,k,百度,3,2024-03-09,\n", "the site or the keyword is empty"},
    };
    for (const auto& c : cases) {
        QByteArray csv = c.body;
        if (c.body == "HEADER")
            csv = QByteArray(kHeader) + "a.com,k,百度,x,2024-03-09,\r\n";
        else if (!c.body.isEmpty() && !c.body.startsWith("网址"))
            csv = QByteArray(kHeader) + c.body;
        try {
            readHistoryCsv(csv, builtInEngine);
            ADD_FAILURE() << c.said << ": read";
        } catch (const AppError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.said)))
                << e.message().toStdString();
        }
    }
}

// Rows the history holds stay as they are, a row given twice goes in once, and a file with a
// bad row adds nothing.
TEST(HistoryCsv, ImportKeepsStoredRowsAndIsAllOrNothing) {
    QTemporaryDir dir;
    RankDatabase db(DatabaseAddress::file(dir.filePath("Sort.mdb")));
    db.setToday([] { return kDay; });
    db.StoreRank("a.com", "seo", 0, 5, "https://a.com/stored");

    auto write = [&](const QByteArray& body) {
        QFile file(dir.filePath("in.csv"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(kHeader) + body);
        return file.fileName();
    };
    const QString path = write("b.com,seo,百度,2,2024-03-10,\r\n"
                               "a.com,seo,百度,9,2024-03-09,https://a.com/imported\r\n"
                               "a.com,seo,百度,4,2024-03-08,\r\n"
                               "b.com,seo,百度,2,2024-03-10,\r\n");
    const RankDatabase::ImportCount count = importHistoryCsv(db, path, builtInEngine);
    EXPECT_EQ(count.added, 2);
    EXPECT_EQ(count.kept, 2);
    QStringList rows;
    for (const RankDatabase::HistoryRow& row : db.historyRows(10))
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(QString::fromStdString(row.site))
                    .arg(row.rank)
                    .arg(row.day.toString(Qt::ISODate), row.url);
    // Newest first, in the order of the file; the stored row of the 9th untouched.
    EXPECT_EQ(rows, (QStringList{"b.com 2 2024-03-10 ", "a.com 4 2024-03-08 ",
                                 "a.com 5 2024-03-09 https://a.com/stored"}));

    write("c.com,seo,百度,2,2024-03-10,\r\n"
          "c.com,seo,百度,2,2024-03-11,\r\n" +
          QByteArray("d.com,") + QByteArray(40, 'k') + ",百度,2,2024-03-11,\r\n");
    EXPECT_THROW(importHistoryCsv(db, path, builtInEngine), AppError);
    EXPECT_EQ(db.historyRows(10).size(), 3u);
    EXPECT_THROW(importHistoryCsv(db, dir.filePath("missing.csv"), builtInEngine), AppError);
}

} // namespace
