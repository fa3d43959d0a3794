#include "cli/commands.h"
#include "rank/batchqueries.h"
#include "rank/engines.h"
#include "text/codepage.h"

int runRank(const Options& o) {
    if (o.args.size() != 2)
        throw UsageError("rank needs SITE and KEYWORD");
    // An empty one would load every page and store a row without it.
    if (o.args[0].trimmed().isEmpty())
        throw UsageError("the site is empty");
    if (o.args[1].trimmed().isEmpty())
        throw UsageError("the keyword is empty");
    loadEngines(o);
    const int engine = engineIndex(o.engine);
    std::vector<RankDatabase::BatchRow> rows{
        {0, qStringToGbkStrict(o.args[0], QStringLiteral("The site")),
         qStringToGbkStrict(o.args[1], QStringLiteral("The keyword")),
         engine < 0 ? 0 : engine + 1}};
    return runQueries(o, makeBatchQueries(rows));
}
