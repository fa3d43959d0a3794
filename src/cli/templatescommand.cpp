#include "cli/commands.h"
#include "cli/output.h"
#include "core/datafiles.h"
#include "core/settingkeys.h"
#include "sender/dispenser.h"
#include "sender/fetchsettings.h"
#include "sender/sendreport.h"
#include "sender/sitelist.h"
#include "sender/templatecheck.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/inifile.h"

#include <QFile>

int runTemplates(const Options& o) {
    if (o.args != QStringList{QStringLiteral("check")})
        throw UsageError("use: templates check");
    const IniFile settings = settingsFile(o);
    const int threads =
        Settings::ThreadCount.clamp(o.threads.value_or(Settings::ThreadCount.read(settings)));
    SiteList sites;
    const QString sitePath = o.dir + DataFiles::Sites;
    if (QFile::exists(sitePath))
        sites.load(sitePath);
    sites.TidySiteList();
    SiteList none;
    Dispenser dispenser(none, [] { return 1; });
    const QString templates = o.dir + DataFiles::Templates;
    dispenser.LoadTemplates(templates);
    if (!dispenser.hasTemplates())
        throw AppError(noTemplatesMessage(templates));
    FetchOptions options;
    readFetchSettings(settings, options);
    const SendReport report =
        checkTemplates(dispenser.lines(), sites.entries(), options, threads, &g_interrupted);
    QList<QStringList> rows;
    for (size_t i = 0; i < report.lines.size(); ++i) {
        const Text& line = report.lines[i];
        if (line.empty() || line[0] < '0' || line[0] > '9')
            continue;
        const TemplateTally& tally = report.tallies[i];
        const QString state = tally.jobs == 0       ? QStringLiteral("无适用网址")
                              : tally.successes > 0 ? QStringLiteral("可用")
                                                    : tally.commonestFailure().first;
        rows << QStringList{QString::number(i + 1), state, gbkToQString(line)};
    }
    printOut(alignedTable({QStringLiteral("行号"), QStringLiteral("状态"), QStringLiteral("模板")},
                          rows));
    printOut(QStringLiteral("可用 %1 个; 失效 %2 个")
                 .arg(report.successes())
                 .arg(report.deadLines().size()));
    return 0;
}
