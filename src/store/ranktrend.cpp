#include "store/ranktrend.h"

RankTrend makeRankTrend(const std::vector<TrendRow>& rows) {
    RankTrend trend;
    QDate lastDay;
    for (const TrendRow& row : rows) {
        if (!row.day.isValid())
            continue;
        if (!trend.first.isValid() || row.day < trend.first)
            trend.first = row.day;
        if (!trend.last.isValid() || row.day > trend.last)
            trend.last = row.day;
        if (trend.lines.empty() || trend.lines.back().engine != row.engine) {
            trend.lines.push_back({row.engine, {}});
            lastDay = QDate();
        }
        RankTrend::Line& line = trend.lines.back();
        if (row.rank <= 0) {
            lastDay = QDate();
            continue;
        }
        // A second row of the same day (from an older file) shows the later one.
        if (lastDay.isValid() && row.day == lastDay) {
            line.runs.back().back().rank = row.rank;
        } else if (lastDay.isValid() && lastDay.daysTo(row.day) == 1) {
            line.runs.back().push_back({row.day, row.rank});
        } else {
            line.runs.push_back({{row.day, row.rank}});
        }
        lastDay = row.day;
        trend.worst = std::max(trend.worst, row.rank);
    }
    return trend;
}
