#include "queryrunner.h"

#include "apperror.h"
#include "codepage.h"
#include "engines.h"
#include "rankscan.h"
#include "strsearch.h"

BatchLists MakeBatchLists(const std::vector<RankDatabase::BatchRow>& rows) {
    BatchLists lists;
    auto add = [&lists](const Text& site, const Text& keyword, int engine) {
        lists.BatchWebs += site + kItemSeparator;
        lists.BatchKeys += keyword + kItemSeparator;
        lists.BatchEngines += std::to_string(engine) + kItemSeparator;
    };
    for (const RankDatabase::BatchRow& row : rows) {
        if (row.code == 0)
            for (int engine = 0; engine < kEngineCount; ++engine)
                add(row.site, row.keyword, engine);
        else
            add(row.site, row.keyword, row.code - 1);
    }
    // No separator after the last entry, or reading the lists back gives an empty extra one.
    if (!lists.BatchWebs.empty()) {
        lists.BatchWebs.pop_back();
        lists.BatchKeys.pop_back();
        lists.BatchEngines.pop_back();
    }
    return lists;
}

QString ReportLine(const RankOutcome& outcome) {
    return QStringLiteral("\"") + GbkToQString(outcome.site) + QStringLiteral("\" 在 ") +
           SortQuerySearcherTypeGetText(outcome.engine) + QStringLiteral(" 关键词 \"") +
           GbkToQString(outcome.keyword) + QStringLiteral("\" 查询中排名第 ") +
           QString::number(outcome.rank) + QStringLiteral(" 位\r\n");
}

QString RunQueries(RankScanner& scanner, const BatchLists& queries,
                   const std::function<bool(const RankOutcome&)>& afterEach) {
    const std::string_view separator(&kItemSeparator, 1);
    const TextList sites = SplitText(queries.BatchWebs, separator, true);
    const TextList keywords = SplitText(queries.BatchKeys, separator, true);
    const TextList engines = SplitText(queries.BatchEngines, separator, true);
    QString report;
    for (size_t i = 0; i < sites.size(); ++i) {
        const Text entry = i < engines.size() ? engines[i] : Text();
        const auto engine = ParseWholeNumber(entry);
        if (!engine)
            throw AppError(
                QStringLiteral("'%1' is not a valid integer value").arg(GbkToQString(entry)));
        RankOutcome outcome{sites[i], i < keywords.size() ? keywords[i] : Text(), *engine, 0};
        outcome.rank = scanner.QueryRank(outcome.site, outcome.keyword, outcome.engine);
        if (outcome.rank > 0)
            report += ReportLine(outcome);
        if (!afterEach(outcome))
            break;
    }
    return report;
}
