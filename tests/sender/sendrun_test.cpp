#include "core/statussink.h"
#include "sender/dispenser.h"
#include "sender/sendrun.h"
#include "sender/sitelist.h"
#include "sender/startrun.h"
#include "testserver.h"
#include "text/apperror.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace {

using namespace std::chrono_literals;

class RecordingSink : public StatusSink {
public:
    void SetStatusText(const Text& text) override {
        std::lock_guard lock(m_mutex);
        m_texts.push_back(text);
    }
    TextList texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

private:
    mutable std::mutex m_mutex;
    TextList m_texts;
};

struct Fixture {
    QTemporaryDir dir;
    SiteList sites;
    std::atomic<int> passes{1};
    Dispenser dispenser{sites, [this] { return passes.load(); }};
    RecordingSink sink;

    QString path(const char* name) const { return dir.filePath(name); }
    void templates(const std::string& lines) {
        QFile file(path("SL.txt"));
        file.open(QIODevice::WriteOnly);
        file.write(lines.data(), static_cast<qint64>(lines.size()));
        file.close();
        dispenser.LoadTemplates(path("SL.txt"));
    }
    QList<QByteArray> logLines() const {
        QFile file(path("SendLog.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = file.readAll().split('\n');
        EXPECT_TRUE(lines.back().isEmpty()) << "last line not ended";
        lines.removeLast();
        return lines;
    }
};

// Waits for the run's own end (the destructor would abort it).
void waitForEnd(const SendRun& run) {
    for (int i = 0; i < 1000 && !run.isFinished(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(run.isFinished());
}

std::string targetOf(const std::string& request) {
    const size_t start = request.find(' ') + 1;
    return request.substr(start, request.find(' ', start) - start);
}

TEST(SendRun, FetchesEveryJobOncePerPassAndLogsOnlySuccesses) {
    TestServer server;
    server.setHandler([](const std::string& request) {
        return targetOf(request).find("/bad/") == 0
                   ? TestResponse::raw("HTTP/1.1 404 Not Found\r\n"
                                       "Content-Length: 0\r\n\r\n")
                   : TestResponse::raw("HTTP/1.1 200 OK\r\n"
                                       "Content-Length: 2\r\n\r\nok");
    });
    Fixture f;
    for (const char* site : {"a.example", "www.b.example", "c.example/page"})
        f.sites.append(site);
    const std::string base = server.url("");
    f.templates("9" + base + "/ok/{@url}\r\n1" + base + "/one/{_url}\n5" + base +
                "/bad/{@url}\r0never\n");
    f.passes = 2;
    const long long expected = f.dispenser.jobCount();
    ASSERT_EQ(expected, 2 * (3 + 1 + 3));
    {
        SendRun run(f.dispenser, f.sink, f.path("SendLog.txt"), {}, 8);
        waitForEnd(run);
        EXPECT_EQ(run.jobsDone(), expected);
        EXPECT_EQ(run.jobsSucceeded(), 2 * 4);
        EXPECT_EQ(run.end(), SendEnd::Finished);
    }

    std::map<std::string, int> fetched;
    for (const std::string& request : server.requests())
        ++fetched[targetOf(request)];
    const std::map<std::string, int> wanted = {
        {"/ok/a.example", 2},       {"/ok/www.b.example", 2}, {"/ok/c.example/page", 2},
        {"/one/a_example", 2},      {"/bad/a.example", 2},    {"/bad/www.b.example", 2},
        {"/bad/c.example/page", 2},
    };
    EXPECT_EQ(fetched, wanted);

    const QList<QByteArray> lines = f.logLines();
    ASSERT_EQ(lines.size(), 8);
    const QRegularExpression line(QStringLiteral("^http://127\\.0\\.0\\.1:\\d+/(ok|one)/"
                                                 "[a-z_./]+\\t\\d{1,2}:\\d{2}:\\d{2}\\r$"));
    for (const QByteArray& l : lines)
        EXPECT_TRUE(line.match(QString::fromLatin1(l)).hasMatch()) << l.toStdString();

    const TextList texts = f.sink.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kGbkDone), 1);
    EXPECT_EQ(texts.back(), kGbkDone);
    EXPECT_EQ(texts.size(), static_cast<size_t>(expected) + 1);
}

TEST(SendRun, OneWorkerFetchesInDispenserOrder) {
    TestServer server;
    Fixture f;
    f.sites.append("a.example");
    f.sites.append("b.example");
    f.templates("5" + server.url("/x/{@url}") + "\n5" + server.url("/y/{@url}") + "\n");
    f.passes = 2;
    {
        SendRun run(f.dispenser, f.sink, f.path("SendLog.txt"), {}, 1);
        waitForEnd(run);
    }
    std::vector<std::string> order;
    for (const std::string& request : server.requests())
        order.push_back(targetOf(request));
    const std::vector<std::string> wanted = {"/x/a.example", "/y/a.example", "/x/b.example",
                                             "/y/b.example", "/x/a.example", "/y/a.example",
                                             "/x/b.example", "/y/b.example"};
    EXPECT_EQ(order, wanted);
    const QList<QByteArray> lines = f.logLines();
    ASSERT_EQ(lines.size(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(lines[i].startsWith(QByteArray::fromStdString(server.url(wanted[i]))));
}

TEST(SendRun, MoreWorkersThanJobsAndAllFailing) {
    TestServer server;
    server.setDefaultResponse(TestResponse::raw("HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n"));
    Fixture f;
    f.sites.append("a.example");
    f.templates("5" + server.url("/1") + "\n5" + server.url("/2") + "\n5" + server.url("/3"));
    SendRun run(f.dispenser, f.sink, f.path("SendLog.txt"), {}, 8);
    waitForEnd(run);
    EXPECT_EQ(server.connectionCount(), 3);
    EXPECT_EQ(run.jobsSucceeded(), 0);
    EXPECT_FALSE(QFile::exists(f.path("SendLog.txt")));
    const TextList texts = f.sink.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kGbkDone), 1);
}

// A stop leaves the log as written, counts in the report what was done (the fetch it cut off
// nowhere) and ends the run as stopped.
TEST(SendRun, StoppedRunKeepsItsLogAndReportsWhatWasDone) {
    TestServer server;
    for (int i = 0; i < 3; ++i)
        server.queueResponse(TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    server.setDefaultResponse(TestResponse::silent());
    Fixture f;
    for (int i = 0; i < 20; ++i)
        f.sites.append("site" + std::to_string(i) + ".example");
    f.templates("5" + server.url("/{@url}"));
    {
        SendRun run(f.dispenser, f.sink, f.path("SendLog.txt"), {}, 1, nullptr,
                    f.path("SendReport.csv"));
        ASSERT_TRUE(server.waitForConnections(4, 10s));
        run.abort();
        waitForEnd(run);
        EXPECT_EQ(run.end(), SendEnd::Stopped);
        EXPECT_EQ(run.error(), QString());
        EXPECT_EQ(run.report().jobs(), 3);
        EXPECT_EQ(run.report().successes(), 3);
    } // joined: the last worker has said its word
    EXPECT_EQ(f.logLines().size(), 3);
    EXPECT_TRUE(QFile::exists(f.path("SendReport.csv")));
    EXPECT_EQ(server.connectionCount(), 4);
    const TextList texts = f.sink.texts();
    EXPECT_EQ(texts.back(), "\xD2\xD1\xCD\xA3\xD6\xB9"); // 已停止
    EXPECT_EQ(std::count(texts.begin(), texts.end(), kGbkDone), 0);
}

TEST(SendRun, DestroyingARunAbortsFetchesInFlight) {
    TestServer server;
    server.setDefaultResponse(TestResponse::silent());
    Fixture f;
    for (int i = 0; i < 50; ++i)
        f.sites.append("site" + std::to_string(i) + ".example");
    f.templates("5" + server.url("/{@url}"));
    const auto started = std::chrono::steady_clock::now();
    {
        SendRun run(f.dispenser, f.sink, f.path("SendLog.txt"), {}, 4);
        ASSERT_TRUE(server.waitForConnections(4, 5s));
    }
    // Far below the 20 s read time-out: the silent fetches gave up when asked.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_LE(server.connectionCount(), 8);
}

} // namespace

// One run at a time on a folder: a second is refused before it deletes anything, and the folder
// is free again once the first has ended.
TEST(SendRun, SecondRunOnTheFolderIsRefused) {
    TestServer server;
    server.setDefaultResponse(TestResponse::silent());
    Fixture first;
    first.sites.append("a.example");
    first.templates("5" + server.url("/{@url}") + "\n");
    const QString folder = first.dir.path() + "/";
    std::unique_ptr<SendRun> run =
        startSendRun(folder, first.sites, first.dispenser, first.sink, {}, 1);
    ASSERT_TRUE(server.waitForConnections(1, 10s));
    QFile log(first.path("SendLog.txt"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("kept\r\n");
    log.close();

    Fixture second;
    second.sites.append("b.example");
    try {
        startSendRun(folder, second.sites, second.dispenser, second.sink, {}, 1);
        ADD_FAILURE() << "a second run started";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("另一个群发正在 %1 中进行，请等它结束后再开始").arg(folder));
    }
    EXPECT_EQ(first.logLines(), QList<QByteArray>{"kept\r"});
    run.reset(); // aborts and joins
    EXPECT_NO_THROW(run = startSendRun(folder, second.sites, second.dispenser, second.sink, {}, 1));
    run.reset();
}
