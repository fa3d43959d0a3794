#pragma once

#include "engines.h"
#include "rankdb.h"
#include "rankscan.h"
#include "text.h"

#include <QString>
#include <functional>

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

// A rank against the one stored on an earlier day: "↑3" (better), "↓5" (worse), "=" (the
// same), "新" (no earlier rank, or none found then), "—" (not found now).
QString rankChange(int rank, std::optional<int> previous);

// The line of the result report, CR LF included, for a rank found (with its change when it
// was stored), a block or a failure; empty for a site not found and a stopped query.
QString reportLine(const RankOutcome& outcome);
// What the command line prints for any outcome but a stop: the report line, with the
// destination after a rank, or a line saying how far the site was looked for.
QString outcomeLine(const RankOutcome& outcome);

// The queries of three item lists: entry i of each is query i, the site list decides how
// many. An engine entry that is no whole number throws AppError before any query runs.
std::vector<RankQuery> parseQueries(const BatchLists& lists);
