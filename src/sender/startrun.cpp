#include "startrun.h"

#include "dispenser.h"
#include "sendrun.h"
#include "sitelist.h"

#include <QFile>

std::unique_ptr<SendRun> StartSendRun(const QString& programDir, SiteList& sites,
                                      Dispenser& dispenser, StatusSink& status,
                                      const FetchOptions& options, int workers) {
    QFile::remove(programDir + QStringLiteral("SendLog.txt"));
    dispenser.reset();
    sites.TidySiteList();
    dispenser.LoadTemplates(programDir + QStringLiteral("SL.txt"));
    return std::make_unique<SendRun>(dispenser, status, programDir + QStringLiteral("SendLog.txt"),
                                     options, workers, nullptr,
                                     programDir + QStringLiteral("SendReport.csv"));
}
