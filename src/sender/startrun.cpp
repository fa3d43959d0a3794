#include "sender/startrun.h"

#include "core/datafiles.h"
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
    QFile::remove(programDir + DataFiles::SendLog);
    dispenser.reset();
    sites.TidySiteList();
    auto run =
        std::make_unique<SendRun>(dispenser, status, programDir + DataFiles::SendLog, options,
                                  workers, nullptr, programDir + DataFiles::SendReport);
    run->holdUntilEnd(std::move(lock));
    return run;
}
