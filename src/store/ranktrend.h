#pragma once

#include <QDate>
#include <vector>

// One stored result of a site and keyword, as the database gives them for a trend.
struct TrendRow {
    int engine;
    QDate day;
    int rank; // 0: not found
};

// A site's rank for a keyword over the days, one line per engine, as the chart draws it: a line
// runs over consecutive days with a rank; a day where the site was not found or not queried
// leaves a gap.
struct RankTrend {
    struct Point {
        QDate day;
        int rank;
        bool operator==(const Point&) const = default;
    };
    struct Line {
        int engine;
        std::vector<std::vector<Point>> runs;
    };
    QDate first; // the first and last day with any stored result
    QDate last;
    int worst = 0;           // the largest rank drawn; 0 when nothing ranked
    std::vector<Line> lines; // every engine with a stored result, by engine number
};

// rows: by engine, then day (as RankDatabase::trendRows gives them).
RankTrend makeRankTrend(const std::vector<TrendRow>& rows);
