#include "cli/commands.h"
#include "cli/output.h"
#include "core/datafiles.h"
#include "sender/sitelist.h"
#include "text/codepage.h"

#include <QFile>

int runSites(const Options& o) {
    const QString path = o.dir + DataFiles::Sites;
    SiteList sites;
    if (o.args.value(0) == QLatin1String("list") && o.args.size() == 1) {
        if (QFile::exists(path))
            sites.load(path);
        for (const Text& site : sites.entries())
            printOut(gbkToQString(site));
        return 0;
    }
    if (o.args.value(0) == QLatin1String("add") && o.args.size() == 2) {
        if (QFile::exists(path))
            sites.load(path);
        const Text site = trimText(qStringToGbkStrict(o.args[1], QStringLiteral("The site")));
        if (site.empty())
            throw UsageError("sites add needs a site");
        if (SiteList::holdsControlCharacter(site))
            throw UsageError("a site cannot hold control characters such as line breaks");
        sites.append(site);
        sites.save(path);
        return 0;
    }
    throw UsageError("use: sites add URL | sites list");
}
