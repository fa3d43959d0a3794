#pragma once

#include "rankdb.h"
#include "text.h"

#include <QString>
#include <functional>

class RankScanner;

// Item lists (entries joined by the byte 0xFF) of sites, keywords and engine indices in
// decimal; entry i of the three is query i. The batch dialog leaves them for a run.
struct BatchLists {
    Text BatchWebs;
    Text BatchKeys;
    Text BatchEngines;
};

// The lists for a batch list: a row for all engines gives three queries (百度, 搜狗, 好搜).
BatchLists MakeBatchLists(const std::vector<RankDatabase::BatchRow>& rows);

struct RankOutcome {
    Text site;
    Text keyword;
    int engine;
    int rank; // 0: not found, or stopped
};

// One line of the result report, CR LF included.
QString ReportLine(const RankOutcome& outcome);

// Runs the queries one after another and returns the report: a line for each rank found.
// afterEach sees every outcome and returns false to end the run there. An engine entry that
// is no whole number throws AppError before its query.
QString RunQueries(RankScanner& scanner, const BatchLists& queries,
                   const std::function<bool(const RankOutcome&)>& afterEach);
