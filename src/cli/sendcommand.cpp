#include "cli/commands.h"
#include "cli/output.h"
#include "core/datafiles.h"
#include "core/settingkeys.h"
#include "sender/dispenser.h"
#include "sender/fetchsettings.h"
#include "sender/sendreport.h"
#include "sender/sendrun.h"
#include "sender/sitelist.h"
#include "sender/startrun.h"
#include "sender/templatecheck.h"
#include "text/apperror.h"
#include "text/inifile.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

int runSend(const Options& o) {
    if (!o.args.isEmpty())
        throw UsageError("send takes no arguments");
    IniFile settings = settingsFile(o);
    // As the window's spin edits do: stored values brought into their ranges, then saved.
    const int threads =
        Settings::ThreadCount.clamp(o.threads.value_or(Settings::ThreadCount.read(settings)));
    const int passes =
        Settings::SendCount.clamp(o.passes.value_or(Settings::SendCount.read(settings)));
    Settings::ThreadCount.write(settings, threads);
    Settings::SendCount.write(settings, passes);

    // A list that cannot be read ends the command before any work: a run over an empty list
    // would end "完成" and look like success.
    SiteList sites;
    sites.load(o.dir + DataFiles::Sites);
    Dispenser dispenser(sites, [passes] { return passes; });
    const QString templates = o.dir + DataFiles::Templates;
    dispenser.LoadTemplates(templates);
    if (!dispenser.hasTemplates())
        throw AppError(noTemplatesMessage(templates));
    ConsoleStatus status(o.verbose);
    FetchOptions options;
    readFetchSettings(settings, options);
    std::unique_ptr<SendRun> run = startSendRun(o.dir, sites, dispenser, status, options, threads);
    const long long total = dispenser.jobCount();

    QEventLoop loop;
    QObject::connect(run.get(), &SendRun::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    const bool progress = isatty(STDERR_FILENO) && !o.verbose;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (g_interrupted)
            run->abort();
        if (progress)
            // Back to the line's start, the text, then the rest of the line cleared.
            std::fprintf(
                stderr, "\r%s\033[K",
                sendProgressText(run->jobsDone(), total, elapsed.elapsed()).toUtf8().constData());
        if (run->isFinished())
            loop.quit();
    });
    tick.start(100);
    if (!run->isFinished())
        loop.exec();
    if (progress)
        std::fprintf(stderr, "\n");
    // Finished: every worker has ended and the report is written.
    const int fetched = run->jobsDone();
    const int succeeded = run->jobsSucceeded();
    const SendReport report = run->report();
    const SendEnd end = run->end();
    const QString runError = run->error();
    run.reset();
    printOut(QStringLiteral("fetched %1 URLs, %2 succeeded").arg(fetched).arg(succeeded));
    printOut(sendSummary(report, end));
    if (!runError.isEmpty()) {
        printErr(runError + QLatin1Char('.'));
        return 1;
    }
    return 0;
}
