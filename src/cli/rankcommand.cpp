#include "cli/commands.h"
#include "rank/batchqueries.h"
#include "rank/engines.h"
#include "text/codepage.h"

int runRank(const Options& o) {
    if (o.args.size() != 2)
        throw UsageError("rank needs SITE and KEYWORD");
    loadEngines(o);
    const int engine = engineIndex(o.engine);
    std::vector<RankDatabase::BatchRow> rows{
        {0, qStringToGbkStrict(o.args[0], QStringLiteral("The site")),
         qStringToGbkStrict(o.args[1], QStringLiteral("The keyword")),
         engine < 0 ? 0 : engine + 1}};
    return runQueries(o, makeBatchQueries(rows));
}
