#pragma once

#include "store/rankquery.h"

#include <QString>
#include <optional>

// A rank against the one stored on an earlier day: "↑3" (better), "↓5" (worse), "=" (the
// same), "新" (no earlier rank, or none found then), "—" (not found now).
QString rankChange(int rank, std::optional<int> previous);

// The line of the result report, CR LF included, for a rank found (with its change when it
// was stored), a block or a failure; empty for a site not found and a stopped query.
QString reportLine(const RankOutcome& outcome);
// What the command line prints for any outcome but a stop: the report line, with the
// destination after a rank, or a line saying how far the site was looked for.
QString outcomeLine(const RankOutcome& outcome);
