// History import: the time `history --import` takes for an exported history of 60,000 rows
// into a fresh "Sort.mdb", and for the same file again into the full one (every row kept).
// Run: build/release/bench/import_bench [rows] [runs]
#include "store/historycsv.h"
#include "store/rankdb.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Rows as an export writes them, newest first: sites × keywords × engines × days, all apart.
QByteArray historyCsv(int rows) {
    QByteArray csv = "\xEF\xBB\xBF网址,关键词,搜索引擎,排名,查询日期,结果网址\r\n";
    const QDate first(2024, 1, 1);
    for (int n = rows - 1; n >= 0; --n) {
        const int engine = n % 3;
        const int keyword = n / 3 % 20;
        const int site = n / 60 % 100;
        const int day = n / 6000;
        const int rank = n % 37;
        csv += QStringLiteral("site%1.cn,关键词%2,%3,%4,%5,https://site%1.cn/page%4\r\n")
                   .arg(site)
                   .arg(keyword)
                   .arg(engine)
                   .arg(rank)
                   .arg(first.addDays(day).toString(Qt::ISODate))
                   .toUtf8();
    }
    return csv;
}

int engineNumber(const QString& name) {
    bool ok = false;
    const int n = name.toInt(&ok);
    return ok ? n : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("history.csv"));
    QFile csv(csvPath);
    if (!csv.open(QIODevice::WriteOnly) || csv.write(historyCsv(rows)) < 0)
        return 1;
    csv.close();
    std::vector<double> fresh, again;
    for (int run = 0; run < runs; ++run) {
        RankDatabase db(DatabaseAddress::file(dir.filePath(QStringLiteral("Sort%1.mdb").arg(run))));
        QElapsedTimer timer;
        timer.start();
        const RankDatabase::ImportCount first = importHistoryCsv(db, csvPath, engineNumber);
        fresh.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        timer.restart();
        const RankDatabase::ImportCount second = importHistoryCsv(db, csvPath, engineNumber);
        again.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (first.added != rows || second.kept != rows) {
            std::fprintf(stderr, "run %d: added %d, kept %d of %d rows\n", run, first.added,
                         second.kept, rows);
            return 1;
        }
    }
    std::sort(fresh.begin(), fresh.end());
    std::sort(again.begin(), again.end());
    std::printf("import of %d rows into a fresh file: median %.3f s (best %.3f s, %d runs)\n", rows,
                fresh[fresh.size() / 2], fresh.front(), runs);
    std::printf("the same rows again (all kept):      median %.3f s (best %.3f s)\n",
                again[again.size() / 2], again.front());
    return 0;
}
