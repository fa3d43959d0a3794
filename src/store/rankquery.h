#pragma once

#include "text/text.h"

#include <QString>
#include <optional>

// A rank query and how it ended: what the scan gives, the history keeps and the batch claims
// hand out.

// How a query ended. Only Ranked and NotFound are results; the others say why there is none.
enum class Outcome {
    Ranked,
    NotFound, // within the depth scanned, or on every page the engine serves
    Blocked,  // the engine showed a verification page
    Failed,   // a page did not load, or could not be read
    Stopped,  // the user ended the run
};

struct QueryResult {
    Outcome outcome = Outcome::NotFound;
    int rank = 0;        // Ranked: the position over all pages
    QString url;         // Ranked: the destination that matched (the text-marker scan has none)
    QString reason;      // Blocked, Failed: what happened, for the user
    int pages = 0;       // result pages loaded
    int results = 0;     // results counted on them (the text-marker scan counts none)
    bool stored = false; // kept in the history
    std::optional<int> previous{}; // stored: the rank of the latest earlier day, if any
};

struct RankQuery {
    Text site;
    Text keyword;
    int engine = 0;
};

struct RankOutcome {
    Text site;
    Text keyword;
    int engine = 0;
    QueryResult result;
};
