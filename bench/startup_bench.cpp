// Start-up of the program's window against a bare Qt Widgets window of the same size, measured
// in the same run, alternately, each in a fresh process: time from its start to the painted
// window and the resident memory then (medians).
// Run: QT_QPA_PLATFORM=offscreen build/release/bench/startup_bench [runs]
//      xvfb-run -a build/release/bench/startup_bench [runs]
#include "startuptime.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <sys/mman.h>
#include <vector>

namespace {

struct Start {
    double ms = 0;
    long kib = 0;
};

// One start of program; nothing when it does not report.
bool startOnce(const QString& program, const QStringList& args, Start& start) {
    // Written by the forked child just before its exec, so that the parent's own work to start
    // a process is not counted.
    static auto* startedNs = static_cast<long long*>(mmap(
        nullptr, sizeof(long long), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (startedNs == MAP_FAILED)
        return false;
    QProcess process;
    process.setChildProcessModifier([] { *startedNs = monotonicNs(); });
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        std::fputs(process.readAllStandardError().constData(), stderr);
        return false;
    }
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    start = {static_cast<double>(fields.value(0).toLongLong() - *startedNs) / 1e6,
             fields.value(1).toLong()};
    return fields.size() == 2;
}

template <typename T> T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = std::max(1, argc > 1 ? std::atoi(argv[1]) : 9);
    const QString dir = QCoreApplication::applicationDirPath();
    QTemporaryDir folder; // the window's program folder, empty as on a first start
    const struct {
        const char* name;
        QString program;
        QStringList args;
    } programs[] = {{"bare Qt Widgets window", dir + "/startup_bare", {}},
                    {"bare window, a Chinese label", dir + "/startup_bare", {"--label"}},
                    {"the program's main window", dir + "/startup_window", {folder.path()}}};
    constexpr int kPrograms = std::size(programs);
    std::vector<double> ms[kPrograms];
    std::vector<long> kib[kPrograms];
    for (int run = 0; run <= runs; ++run) {
        for (int i = 0; i < kPrograms; ++i) {
            // Started on a quiet system, as a user starts it: right after another program's
            // exit, a start waits while the X server and the kernel clear that one away, which
            // adds tens of milliseconds to every program alike and flatters the ratio.
            QThread::msleep(300);
            Start start;
            if (!startOnce(programs[i].program, programs[i].args, start)) {
                std::fprintf(stderr, "%s did not start\n", qPrintable(programs[i].program));
                return 1;
            }
            if (run > 0) // the first round fills the file cache
                ms[i].push_back(start.ms), kib[i].push_back(start.kib);
        }
    }
    std::printf("platform %s, median of %d starts each\n",
                qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default")).toUtf8().data(),
                runs);
    for (int i = 0; i < kPrograms; ++i)
        std::printf("%-30s %6.0f ms to the painted window, %6ld KiB resident\n", programs[i].name,
                    median(ms[i]), median(kib[i]));
    std::printf(
        "the main window takes %.2f of the bare window's time, %.2f of the labelled one's\n",
        median(ms[2]) / median(ms[0]), median(ms[2]) / median(ms[1]));
    return 0;
}
