#include "sender/startrun.h"

#include "sender/dispenser.h"
#include "sender/folderlock.h"
#include "sender/sendrun.h"
#include "sender/sitelist.h"

#include <QFile>

std::unique_ptr<SendRun> startSendRun(const QString& programDir, SiteList& sites,
                                      Dispenser& dispenser, StatusSink& status,
                                      const FetchOptions& options, int workers) {
    // Before the log goes: a second run on this folder would delete the first one's lines.
    std::unique_ptr<FolderLock> lock = FolderLock::take(programDir);
    QFile::remove(programDir + QStringLiteral("SendLog.txt"));
    dispenser.reset();
    sites.TidySiteList();
    dispenser.LoadTemplates(programDir + QStringLiteral("SL.txt"));
    auto run = std::make_unique<SendRun>(
        dispenser, status, programDir + QStringLiteral("SendLog.txt"), options, workers, nullptr,
        programDir + QStringLiteral("SendReport.csv"));
    run->holdUntilEnd(std::move(lock));
    return run;
}
