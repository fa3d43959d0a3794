#include "rank/batchqueries.h"

#include "text/apperror.h"
#include "text/codepage.h"
#include "text/strsearch.h"

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
