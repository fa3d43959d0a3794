#include "queryrunner.h"

#include "apperror.h"
#include "codepage.h"
#include "engines.h"
#include "rankscan.h"
#include "strsearch.h"

std::vector<RankQuery> makeBatchQueries(const std::vector<RankDatabase::BatchRow>& rows,
                                        const EngineProfiles& engines) {
    std::vector<RankQuery> queries;
    for (const RankDatabase::BatchRow& row : rows) {
        if (row.code == 0)
            for (int engine = 0; engine < static_cast<int>(engines.size()); ++engine)
                queries.push_back({row.site, row.keyword, engine});
        else
            queries.push_back({row.site, row.keyword, row.code - 1});
    }
    return queries;
}

BatchLists makeBatchLists(const std::vector<RankDatabase::BatchRow>& rows,
                          const EngineProfiles& engines) {
    BatchLists lists;
    for (const RankQuery& q : makeBatchQueries(rows, engines)) {
        lists.BatchWebs += q.site + kItemSeparator;
        lists.BatchKeys += q.keyword + kItemSeparator;
        lists.BatchEngines += std::to_string(q.engine) + kItemSeparator;
    }
    // No separator after the last entry, or reading the lists back gives an empty extra one.
    if (!lists.BatchWebs.empty()) {
        lists.BatchWebs.pop_back();
        lists.BatchKeys.pop_back();
        lists.BatchEngines.pop_back();
    }
    return lists;
}

namespace {

// "site" 在 engine 关键词 "keyword"
QString subject(const RankOutcome& o) {
    return QStringLiteral("\"") + gbkToQString(o.site) + QStringLiteral("\" 在 ") +
           SortQuerySearcherTypeGetText(o.engine) + QStringLiteral(" 关键词 \"") +
           gbkToQString(o.keyword) + QStringLiteral("\"");
}

} // namespace

QString rankChange(int rank, std::optional<int> previous) {
    if (rank <= 0)
        return QStringLiteral("—");
    if (!previous || *previous <= 0)
        return QStringLiteral("新");
    if (rank < *previous)
        return QStringLiteral("↑%1").arg(*previous - rank);
    if (rank > *previous)
        return QStringLiteral("↓%1").arg(rank - *previous);
    return QStringLiteral("=");
}

QString reportLine(const RankOutcome& outcome) {
    const QueryResult& r = outcome.result;
    switch (r.outcome) {
    case Outcome::Ranked:
        return subject(outcome) + QStringLiteral(" 查询中排名第 ") + QString::number(r.rank) +
               QStringLiteral(" 位") +
               (r.stored ? QStringLiteral("（%1）").arg(rankChange(r.rank, r.previous))
                         : QString()) +
               QStringLiteral("\r\n");
    case Outcome::Blocked:
        return subject(outcome) + QStringLiteral(" 查询中遇到验证页面，没有结果: ") + r.reason +
               QStringLiteral("\r\n");
    case Outcome::Failed:
        return subject(outcome) + QStringLiteral(" 查询失败，没有结果: ") + r.reason +
               QStringLiteral("\r\n");
    case Outcome::NotFound:
    case Outcome::Stopped:
        break;
    }
    return {};
}

QString outcomeLine(const RankOutcome& outcome) {
    const QueryResult& r = outcome.result;
    if (r.outcome == Outcome::NotFound)
        return subject(outcome) + QStringLiteral(" 的前 %1 页中未找到").arg(r.pages) +
               (r.results > 0 ? QStringLiteral("（共 %1 个结果）").arg(r.results) : QString());
    QString line = reportLine(outcome);
    line.chop(2);
    // The verification can be passed only where a person sees the page.
    if (r.outcome == Outcome::Blocked)
        line += QStringLiteral("（请在窗口程序中运行一次查询并完成验证，之后命令行也能通过）");
    if (r.outcome == Outcome::Ranked && !r.url.isEmpty())
        line += QLatin1Char(' ') + r.url;
    return line;
}

std::vector<RankQuery> parseQueries(const BatchLists& lists) {
    const std::string_view separator(&kItemSeparator, 1);
    const TextList sites = SplitText(lists.BatchWebs, separator, true);
    const TextList keywords = SplitText(lists.BatchKeys, separator, true);
    const TextList engines = SplitText(lists.BatchEngines, separator, true);
    std::vector<RankQuery> queries;
    for (size_t i = 0; i < sites.size(); ++i) {
        const Text entry = i < engines.size() ? engines[i] : Text();
        const auto engine = parseWholeNumber(entry);
        if (!engine)
            throw AppError(
                QStringLiteral("'%1' is not a valid integer value").arg(gbkToQString(entry)));
        queries.push_back({sites[i], i < keywords.size() ? keywords[i] : Text(), *engine});
    }
    return queries;
}
