// Batch workers sharing one PostgreSQL database: the time three workers take for a batch of
// thirty queries against fake engines that answer each page in 200 ms, against one worker, in
// the same run. Each query reads three result pages (its site is on the third).
// Run: build/release/bench/worker_bench [runs]   (as root it runs the server as postgres)
#include "fakeengine.h"
#include "pgserver.h"
#include "store/rankdb.h"
#include "text/codepage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kQueries = 30;

// Seconds for workers workers to finish a fresh batch; -1 when a worker fails.
double batchSeconds(PgServer& server, FakeEngine& engine, int workers, int run) {
    const QString url = server.createDatabase(QStringLiteral("bench_%1_%2").arg(workers).arg(run));
    {
        RankDatabase db(DatabaseAddress::server(url, PgServer::password()));
        for (int q = 0; q < kQueries; ++q)
            db.insertBatch("target.cn", qStringToGbk(QStringLiteral("kw%1_%2").arg(run).arg(q)), 1);
    }
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    std::vector<std::unique_ptr<QProcess>> processes;
    QElapsedTimer timer;
    timer.start();
    for (int w = 0; w < workers; ++w) {
        dirs.push_back(std::make_unique<QTemporaryDir>());
        writeEngineSettings(dirs.back()->path(), engine.address(), true, false);
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), PgServer::password());
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(MT_CLI_EXECUTABLE),
                       {QStringLiteral("batch"), QStringLiteral("--worker"),
                        QStringLiteral("w%1").arg(w), QStringLiteral("--db"), url,
                        QStringLiteral("--dir"), dirs.back()->path()});
        processes.push_back(std::move(process));
    }
    bool ok = true;
    for (auto& process : processes) {
        ok = process->waitForFinished(600000) && process->exitCode() == 0 && ok;
        if (process->exitCode() != 0)
            std::fputs(process->readAllStandardError().constData(), stderr);
    }
    return ok ? static_cast<double>(timer.elapsed()) / 1000.0 : -1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = std::max(1, argc > 1 ? std::atoi(argv[1]) : 1);
    PgServer server;
    if (!server.running()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.skipReason()));
        return 1;
    }
    FakeEngine engine;
    engine.setMarkup(FakeEngine::Markup::Today);
    for (int run = 0; run < runs; ++run)
        for (int q = 0; q < kQueries; ++q)
            engine.plan(
                "kw" + std::to_string(run) + "_" + std::to_string(q),
                FakeEngine::TodayPlan{.placed = {{{3, 0}, "https://target.cn/"}}, .lastPage = 3});
    engine.setOnPage([](const FakeEngine::Request&) { QThread::msleep(200); });
    for (int run = 0; run < runs; ++run) {
        const double one = batchSeconds(server, engine, 1, run);
        const double three = batchSeconds(server, engine, 3, run);
        std::printf("%d queries, 3 pages each, 200 ms a page: one worker %.1f s, three workers "
                    "%.1f s, %.2f of one worker's time\n",
                    kQueries, one, three, three / one);
    }
    return 0;
}
