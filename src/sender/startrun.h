#pragma once

#include "sender/httpfetch.h"

#include <QString>
#include <memory>

class Dispenser;
class SendRun;
class SiteList;
class StatusSink;

// Starts a send run once the send settings are saved and the dispenser holds the templates of
// "SL.txt" (read once, by the caller, who must tell the user when there are none): locks the
// folder (AppError when another run holds it), deletes "SendLog.txt", resets the dispenser,
// tidies the site list and starts the workers, which write "SendReport.csv" when they are done.
// The window's "开始群发" and the command line share these steps.
std::unique_ptr<SendRun> startSendRun(const QString& programDir, SiteList& sites,
                                      Dispenser& dispenser, StatusSink& status,
                                      const FetchOptions& options, int workers);
