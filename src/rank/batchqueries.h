#pragma once

#include "rank/engines.h"
#include "store/rankdb.h"
#include "store/rankquery.h"
#include "text/text.h"

#include <vector>

// Item lists (entries joined by the byte 0xFF) of sites, keywords and engine indices in
// decimal; entry i of the three is query i. The batch dialog leaves them for a run.
struct BatchLists {
    Text BatchWebs;
    Text BatchKeys;
    Text BatchEngines;
};

// The queries of a batch list: a row for all engines gives a query for each engine of the
// table, in its order.
std::vector<RankQuery> makeBatchQueries(const std::vector<RankDatabase::BatchRow>& rows,
                                        const EngineProfiles& engines = currentEngineProfiles());

// The same as the item lists the batch dialog hands to the window, the one place where queries
// travel joined.
BatchLists makeBatchLists(const std::vector<RankDatabase::BatchRow>& rows,
                          const EngineProfiles& engines = currentEngineProfiles());

// The queries of three item lists: entry i of each is query i, the site list decides how
// many. An engine entry that is no whole number throws AppError before any query runs.
std::vector<RankQuery> parseQueries(const BatchLists& lists);
