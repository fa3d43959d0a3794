// One send run of 20 workers and 20,000 jobs started from the main window against a loopback
// server, set beside ab's rate on the same server, and how late the UI thread's events come
// meanwhile. The server runs in this process; its threads' CPU time is read from their own
// clocks and taken out of the per-job figure.
// Run: build/bench/send_bench [server-threads] [--run-only]
// --run-only leaves out ab and the bare-fetch baseline, so that a profile holds the run alone.
#include "app/application.h"
#include "app/mainform.h"
#include "app/messagebox.h"
#include "loopserver.h"
#include "sender/httpfetch.h"
#include "text/codepage.h"

#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWorkers = 20;
constexpr int kSites = 100;
constexpr int kTemplates = 200;
constexpr int kJobs = kSites * kTemplates; // one pass
constexpr auto kTick = 10ms;
constexpr auto kPostEvery = 2ms;
// Far beyond any sane run: the bench gives up instead of hanging.
constexpr auto kWatchdog = 180s;

double secondsOf(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double processCpu(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    auto sec = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

double threadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// What the scheduler says about the calling thread: time spent runnable but waiting for a CPU,
// and how many times it got one.
struct SchedStat {
    double waitMs = 0;
    long long slices = 0;
};

SchedStat threadSchedStat() {
    SchedStat s;
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = file.readAll().simplified().split(' ');
        s.waitMs = fields.value(1).toDouble() / 1e6;
        s.slices = fields.value(2).toLongLong();
    }
    return s;
}

struct Spread {
    double p50 = 0, p99 = 0, max = 0;
    size_t count = 0;
};

Spread spreadOf(std::vector<double> ms) {
    Spread s;
    s.count = ms.size();
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) {
        const auto rank = static_cast<size_t>(std::ceil(q * static_cast<double>(ms.size())));
        return ms[std::clamp<size_t>(rank, 1, ms.size()) - 1];
    };
    s.p50 = at(0.5);
    s.p99 = at(0.99);
    s.max = ms.back();
    return s;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString numbered(const char* pattern, int n) {
    return QString::fromLatin1(pattern).arg(n, 3, 10, QLatin1Char('0'));
}

struct AbResult {
    bool ran = false;
    QString error;
    double rate = 0;
    long long failed = -1;
    double cpuPerRequestUs = 0;       // ab's own
    double serverCpuPerRequestUs = 0; // our server's, meanwhile
    double serverBusy = 0;            // server CPU seconds per second of ab's run
};

// ab opens a fresh connection per request (no -k), as a worker does per job.
AbResult runAb(const LoopServer& server) {
    AbResult result;
    QProcess ab;
    ab.setProcessChannelMode(QProcess::MergedChannels);
    const double childCpu = processCpu(RUSAGE_CHILDREN);
    const double serverCpu = server.cpuSeconds();
    const Clock::time_point start = Clock::now();
    ab.start(QStringLiteral("/usr/bin/ab"),
             {QStringLiteral("-q"), QStringLiteral("-n"), QString::number(kJobs),
              QStringLiteral("-c"), QString::number(kWorkers),
              QStringLiteral("http://127.0.0.1:%1/").arg(server.port())});
    if (!ab.waitForStarted(10000)) {
        result.error = QStringLiteral("ab did not start");
        return result;
    }
    if (!ab.waitForFinished(120000)) {
        ab.kill();
        ab.waitForFinished();
        result.error = QStringLiteral("ab did not finish within 120 s");
        return result;
    }
    const double elapsed = secondsOf(Clock::now() - start);
    const double serverUsed = server.cpuSeconds() - serverCpu;
    result.serverCpuPerRequestUs = serverUsed / kJobs * 1e6;
    result.serverBusy = serverUsed / elapsed;
    result.cpuPerRequestUs = (processCpu(RUSAGE_CHILDREN) - childCpu) / kJobs * 1e6;

    const QString output = QString::fromLocal8Bit(ab.readAll());
    const auto rate =
        QRegularExpression(QStringLiteral(R"(Requests per second:\s+([\d.]+))")).match(output);
    const auto failed =
        QRegularExpression(QStringLiteral(R"(Failed requests:\s+(\d+))")).match(output);
    if (!rate.hasMatch()) {
        result.error = QStringLiteral("no rate in ab's output:\n") + output;
        return result;
    }
    result.ran = true;
    result.rate = rate.captured(1).toDouble();
    result.failed = failed.hasMatch() ? failed.captured(1).toLongLong() : -1;
    return result;
}

// How late the UI thread serves a 10 ms timer, and how long an event posted from another
// thread waits for it.
class LatencyProbe : public QObject {
public:
    LatencyProbe() {
        // Re-armed at each timeout, so every sample is one timeout's own lateness.
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &LatencyProbe::tick);
    }
    ~LatencyProbe() override { stop(); }

    void start() {
        m_recording = true;
        m_armed = Clock::now();
        m_timer.start(kTick);
        m_posting = true;
        m_poster = std::thread([this] {
            while (m_posting) {
                const Clock::time_point sent = Clock::now();
                QMetaObject::invokeMethod(
                    this, [this, sent] { delivered(sent); }, Qt::QueuedConnection);
                std::this_thread::sleep_for(kPostEvery);
            }
        });
    }
    void stop() {
        m_recording = false;
        m_timer.stop();
        m_posting = false;
        if (m_poster.joinable())
            m_poster.join();
    }

    Spread timerLate() const { return spreadOf(m_timerLate); }
    Spread postedDelay() const { return spreadOf(m_posted); }

private:
    void tick() {
        const Clock::time_point now = Clock::now();
        if (m_recording)
            m_timerLate.push_back(std::max(0.0, ms(now - m_armed - kTick)));
        m_armed = now;
        m_timer.start(kTick);
    }
    void delivered(Clock::time_point sent) {
        if (m_recording)
            m_posted.push_back(ms(Clock::now() - sent));
    }

    QTimer m_timer;
    Clock::time_point m_armed;
    bool m_recording = false;
    std::atomic<bool> m_posting{false};
    std::thread m_poster;
    std::vector<double> m_timerLate;
    std::vector<double> m_posted;
};

// Calls back when the start button is enabled again (the end of a run) and counts the status
// panel's paints.
class WindowWatch : public QObject {
public:
    WindowWatch(QWidget* button, QWidget* panel, std::function<void()> enabled)
        : m_button(button), m_panel(panel), m_enabled(std::move(enabled)) {
        button->installEventFilter(this);
        panel->installEventFilter(this);
    }
    int paints() const { return m_paints; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_panel && event->type() == QEvent::Paint)
            ++m_paints;
        if (watched == m_button && event->type() == QEvent::EnabledChange && m_button->isEnabled())
            m_enabled();
        return false;
    }

private:
    QWidget* m_button;
    QWidget* m_panel;
    std::function<void()> m_enabled;
    int m_paints = 0;
};

struct AloneResult {
    double rate = 0;
    double cpuPerFetchUs = 0; // without the server's
    int failed = 0;
};

// The same URLs fetched by bare threads: what the fetches cost without window, log and clock.
AloneResult fetchAlone(const LoopServer& server) {
    std::vector<Text> urls;
    for (int site = 0; site < kSites; ++site)
        for (int templ = 0; templ < kTemplates; ++templ)
            urls.push_back(QStringLiteral("http://127.0.0.1:%1/%2?site=%3")
                               .arg(server.port())
                               .arg(numbered("t%1", templ), numbered("site%1.example", site))
                               .toStdString());
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    const double cpu = processCpu();
    const double serverCpu = server.cpuSeconds();
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < kWorkers; ++i)
        threads.emplace_back([&] {
            for (int n = next++; n < kJobs; n = next++)
                if (!fetchUrl(urls[static_cast<size_t>(n)], FetchOptions{}))
                    ++failed;
        });
    for (std::thread& thread : threads)
        thread.join();
    AloneResult result;
    result.rate = kJobs / secondsOf(Clock::now() - start);
    result.cpuPerFetchUs = (processCpu() - cpu - (server.cpuSeconds() - serverCpu)) / kJobs * 1e6;
    result.failed = failed;
    return result;
}

// Url.txt, SL.txt and Setting.ini for one pass of every template over every site.
bool writeProgramFolder(const QTemporaryDir& dir, uint16_t port) {
    QByteArray sites, templates;
    for (int site = 0; site < kSites; ++site)
        sites += numbered("site%1.example\r\n", site).toLatin1();
    // Digit 5 suits every site kind, so each template is filled with each site.
    for (int templ = 0; templ < kTemplates; ++templ)
        templates += QStringLiteral("5http://127.0.0.1:%1/%2?site={@url}\r\n")
                         .arg(port)
                         .arg(numbered("t%1", templ))
                         .toLatin1();
    const QByteArray settings =
        QStringLiteral("[Setting]\r\nThreadCount=%1\r\nSendCount=1\r\n").arg(kWorkers).toLatin1();
    return dir.isValid() && writeFile(dir.filePath("Url.txt"), sites) &&
           writeFile(dir.filePath("SL.txt"), templates) &&
           writeFile(dir.filePath("Setting.ini"), settings);
}

// The counters the run is measured by, read at its start and at its end.
struct Snapshot {
    Clock::time_point when;
    double cpu = 0;       // the process's, user + system
    double serverCpu = 0; // the server threads' share of it
    double uiCpu = 0;     // the UI thread's share of it
    SchedStat uiSched;    // the UI thread's waiting for a CPU
    long long served = 0;

    // On the UI thread.
    static Snapshot take(const LoopServer& server) {
        Snapshot s;
        s.served = server.served();
        s.uiSched = threadSchedStat();
        s.uiCpu = threadCpu();
        s.serverCpu = server.cpuSeconds();
        s.cpu = processCpu();
        s.when = Clock::now();
        return s;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int serverThreads = 2;
    bool runOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--run-only") == 0)
            runOnly = true;
        else
            serverThreads = std::max(1, std::atoi(argv[i]));
    }
    LoopServer server(serverThreads);
    Application app(argc, argv);
    MessageBox::setTestMode(true);

    // ab runs before and after the send run and the rate is set against their mean, so a
    // change in the machine's other load during the bench tilts the ratio less.
    AbResult ab;
    if (runOnly)
        ab.error = QStringLiteral("--run-only");
    else
        ab = runAb(server);

    QTemporaryDir dir;
    if (!writeProgramFolder(dir, server.port())) {
        std::fprintf(stderr, "cannot write the program folder\n");
        return 1;
    }
    TMainForm form(dir.path());
    form.show();
    auto* startButton = form.findChild<QPushButton*>(QStringLiteral("StartButton"));
    auto* statusPanel = form.findChild<QLabel*>(QStringLiteral("StatusPanel"));
    if (!startButton || !statusPanel) {
        std::fprintf(stderr, "the main window has no start button or status panel\n");
        return 1;
    }

    LatencyProbe probe;
    Snapshot start, end;
    double clickMs = 0; // StartButtonClick itself
    bool running = false, finished = false;

    WindowWatch watch(startButton, statusPanel, [&] {
        if (!running)
            return;
        running = false;
        finished = true;
        end = Snapshot::take(server);
        probe.stop();
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    });
    // The window settles first, so that its first paints do not count against the run.
    QTimer::singleShot(300, &form, [&] {
        probe.start();
        running = true;
        start = Snapshot::take(server);
        startButton->click();
        clickMs = ms(Clock::now() - start.when);
        if (running && startButton->isEnabled()) {
            std::fprintf(stderr, "the send run did not start\n");
            probe.stop();
            QCoreApplication::exit(1);
        }
    });
    QTimer::singleShot(kWatchdog, &app, [&] {
        std::fprintf(stderr, "the send run did not end within %lld s\n",
                     static_cast<long long>(kWatchdog.count()));
        probe.stop();
        QCoreApplication::exit(2);
    });
    const int code = app.exec();
    if (!finished) {
        form.close(); // stops and joins the workers
        return code ? code : 1;
    }

    QFile log(dir.filePath("SendLog.txt"));
    const long long logLines = log.open(QIODevice::ReadOnly) ? log.readAll().count("\r\n") : -1;
    const QString status = form.findChild<QLabel*>(QStringLiteral("StatusPanel"))->text();
    const AbResult abAfter = ab.ran ? runAb(server) : AbResult{};
    const double abRate = abAfter.ran ? (ab.rate + abAfter.rate) / 2 : ab.rate;
    const AloneResult alone = runOnly ? AloneResult{} : fetchAlone(server);

    const double seconds = secondsOf(end.when - start.when);
    const double rate = kJobs / seconds;
    const double cpuPerJob = (end.cpu - start.cpu) / kJobs * 1e6;
    const double serverPerJob = (end.serverCpu - start.serverCpu) / kJobs * 1e6;
    const double uiPerJob = (end.uiCpu - start.uiCpu) / kJobs * 1e6;
    const Spread timer = probe.timerLate();
    const Spread posted = probe.postedDelay();

    std::printf("send_bench: %d workers, %d jobs (%d sites x %d templates x 1 pass), loopback "
                "server in-process with %d epoll thread(s), %ld CPUs\n",
                kWorkers, kJobs, kSites, kTemplates, serverThreads, sysconf(_SC_NPROCESSORS_ONLN));
    const std::pair<const char*, const AbResult*> abRuns[] = {{"before", &ab},
                                                              {"after ", &abAfter}};
    for (const auto& [when, result] : abRuns) {
        if (result->ran)
            std::printf("ab -n %d -c %d, %s  %8.0f req/s   ab CPU %.1f us/req; server CPU %.1f "
                        "us/req, %.2f CPUs busy; %lld failed\n",
                        kJobs, kWorkers, when, result->rate, result->cpuPerRequestUs,
                        result->serverCpuPerRequestUs, result->serverBusy, result->failed);
        else if (!runOnly)
            std::printf("ab -n %d -c %d, %s  not measured: %s\n", kJobs, kWorkers, when,
                        qPrintable(result->error));
    }
    std::printf("send run from the window   %8.0f jobs/s  in %.2f s", rate, seconds);
    if (ab.ran)
        std::printf(", %.2f of ab's mean", rate / abRate);
    std::printf("\n  CPU per job              %.1f us process, %.1f us without the server threads "
                "(server %.1f us; UI thread %.1f us)\n",
                cpuPerJob, cpuPerJob - serverPerJob, serverPerJob, uiPerJob);
    std::printf("  UI 10 ms timer late by   p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu timeouts)\n",
                timer.p50, timer.p99, timer.max, timer.count);
    std::printf("  posted event waited      p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu events)\n",
                posted.p50, posted.p99, posted.max, posted.count);
    std::printf("  UI thread                StartButtonClick %.1f ms; runnable but waiting for a "
                "CPU %.0f ms over %lld wake-ups; status panel painted %d times\n",
                clickMs, end.uiSched.waitMs - start.uiSched.waitMs,
                end.uiSched.slices - start.uiSched.slices, watch.paints());
    std::printf("  SendLog.txt              %lld lines (%s); status \"%s\"; server answered %lld\n",
                logLines, logLines == kJobs ? "all jobs" : "MISSING LINES", qPrintable(status),
                end.served - start.served);
    if (!runOnly)
        std::printf("FetchUrl alone, %d threads %8.0f fetches/s, %.1f us CPU per fetch without the "
                    "server; %d failed\n",
                    kWorkers, alone.rate, alone.cpuPerFetchUs, alone.failed);

    const bool ok = logLines == kJobs && status.startsWith(gbkToQString(kGbkDone)) &&
                    (!ab.ran || ab.failed == 0) && (!abAfter.ran || abAfter.failed == 0) &&
                    alone.failed == 0;
    return ok ? 0 : 1;
}
