#include "../loopbackport.h"
#include "core/statussink.h"
#include "sender/dispenser.h"
#include "sender/sendreport.h"
#include "sender/sendrun.h"
#include "sender/sitelist.h"
#include "sender/templatecheck.h"
#include "testserver.h"
#include "text/apperror.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class QuietSink : public StatusSink {
public:
    void SetStatusText(const Text&) override {}
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Templates that work, that are dead (refused), slow (time-out) and gone (404), and lines that
// are no templates; each template against two sites over two passes.
struct Templates {
    TestServer server;
    QByteArray file;
    Templates() {
        server.setHandler([](const std::string& request) {
            if (request.find("GET /slow/") == 0)
                return TestResponse::silent();
            if (request.find("GET /gone/") == 0)
                return TestResponse::raw("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            if (request.find("GET /half/b.example") == 0)
                return TestResponse::raw("HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n");
            return TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        });
        const std::string base = server.url("");
        const std::string refused = "http://127.0.0.1:" + std::to_string(freeLoopbackPort());
        file = QByteArray::fromStdString("# my templates\r\n9" + base + "/ok/{@url}\r\n9" +
                                         refused + "/dead/{@url}\r\n9" + base +
                                         "/slow/{@url}\r\n\r\n9" + base + "/gone/{@url}\r\n9" +
                                         base + "/half/{@url}\r\n0" + base + "/never/{@url}\r\n");
    }
};

FetchOptions quick() {
    FetchOptions options;
    options.connectTimeout = 2000ms;
    options.readTimeout = 300ms;
    return options;
}

const char kCsvHeader[] = "\xEF\xBB\xBF行号,模板,任务,成功,主要失败原因,次数\r\n";

TEST(SendReport, EachTemplateLineWithItsJobsSuccessesAndCommonestFailure) {
    Templates t;
    QTemporaryDir dir;
    writeAll(dir.filePath("SL.txt"), t.file);
    SiteList sites;
    sites.append("a.example");
    sites.append("b.example");
    Dispenser dispenser(sites, [] { return 2; });
    dispenser.LoadTemplates(dir.filePath("SL.txt"));
    QuietSink sink;
    const QString reportPath = dir.filePath("SendReport.csv");
    SendReport report;
    {
        SendRun run(dispenser, sink, dir.filePath("SendLog.txt"), quick(), 6, nullptr, reportPath);
        for (int i = 0; i < 1000 && !run.isFinished(); ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(run.isFinished());
        report = run.report();
        EXPECT_EQ(run.error(), QString());
    }
    const std::string base = t.server.url("");

    auto row = [&](int line, const char* rest) {
        QByteArray tmpl = t.file.split('\n')[line - 1];
        tmpl.chop(1); // the CR
        return QByteArray::number(line) + "," + tmpl + "," + rest + "\r\n";
    };
    EXPECT_EQ(readAll(reportPath), QByteArray(kCsvHeader) + row(2, "4,4,,") +
                                       row(3, "4,0,连接被拒绝,4") + row(4, "4,0,超时,4") +
                                       row(6, "4,0,HTTP 404,4") + row(7, "4,2,HTTP 500,2") +
                                       row(8, "0,0,,"));
    EXPECT_EQ(report.jobs(), 20);
    EXPECT_EQ(report.successes(), 6);
    EXPECT_EQ(report.deadLines(), (std::vector<int>{2, 3, 5}));
    EXPECT_EQ(sendSummary(report), QStringLiteral("完成: 成功 6 / 共 20; 失效模板 3 个"));
    // A run cut short says how it ended; which templates are dead only a whole run tells.
    const std::pair<SendEnd, QString> ends[] = {
        {SendEnd::Finished, QStringLiteral("完成: 成功 6 / 共 20; 失效模板 3 个")},
        {SendEnd::Stopped, QStringLiteral("已停止: 成功 6 / 共 20")},
        {SendEnd::Failed, QStringLiteral("出错中止: 成功 6 / 共 20")},
    };
    for (const auto& [end, summary] : ends)
        EXPECT_EQ(sendSummary(report, end), summary);

    // The dead ones leave the file, each once; the old file is kept beside it.
    const QString path = dir.filePath("SL.txt");
    EXPECT_EQ(removeDeadTemplates(path, report), 3);
    QByteArray kept = t.file;
    for (const int line : {6, 4, 3})
        kept.replace(t.file.split('\n')[line - 1] + "\n", "");
    EXPECT_EQ(readAll(path), kept);
    EXPECT_EQ(readAll(path + ".bak"), t.file);
    // Nothing more to remove: the file stays as it is.
    EXPECT_EQ(removeDeadTemplates(path, report), 0);
    EXPECT_EQ(readAll(path), kept);
}

// A template edited since the run is no longer the dead one and stays; an unreadable file is
// said and nothing changes.
TEST(SendReport, RemovingLeavesChangedLinesAndFailsWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SL.txt");
    SendReport report;
    report.lines = {"5http://a/{@url}", "5http://b/{@url}", "x", "5http://c/{@url}"};
    report.tallies.resize(4);
    for (const size_t dead : {0u, 1u, 3u})
        report.tallies[dead].add({false, FetchFailure::Refused, 0});
    writeAll(path, "5http://a/{@url}\n5http://b2/{@url}\nx\r5http://c/{@url}");
    EXPECT_EQ(removeDeadTemplates(path, report), 2);
    EXPECT_EQ(readAll(path), QByteArray("5http://b2/{@url}\r\nx\r\n"));

    // A file an editor saved as UTF-8 with its mark: matched as the run read it, kept as it was.
    report.lines[1] = "5http://b/\xD6\xD0";
    report.tallies[1].add({false, FetchFailure::Refused, 0});
    writeAll(path, "\xEF\xBB\xBF"
                   "5http://a/{@url}\r\n5http://b/\xE4\xB8\xAD\r\nx\r\n");
    EXPECT_EQ(removeDeadTemplates(path, report), 2);
    EXPECT_EQ(readAll(path), QByteArray("\xEF\xBB\xBF"
                                        "x\r\n"));

    EXPECT_THROW(removeDeadTemplates(dir.filePath("none.txt"), report), AppError);
    writeAll(path, "5http://a/{@url}\n");
    ASSERT_TRUE(QFile::remove(path + ".bak"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("SL.txt.bak")); // the backup cannot be written
    EXPECT_THROW(removeDeadTemplates(path, report), AppError);
    EXPECT_EQ(readAll(path), QByteArray("5http://a/{@url}\n"));
}

// One job per template, with the first site it suits; nothing logged.
TEST(SendReport, CheckTemplatesFetchesEachTemplateOnce) {
    Templates t;
    QTemporaryDir dir;
    const SendReport report = checkTemplates(splitFileLines(t.file.toStdString()),
                                             {"www.a.example", "b.example"}, quick(), 4);
    QStringList states;
    for (size_t i = 0; i < report.lines.size(); ++i)
        states << QStringLiteral("%1:%2/%3:%4")
                      .arg(i + 1)
                      .arg(report.tallies[i].jobs)
                      .arg(report.tallies[i].successes)
                      .arg(report.tallies[i].commonestFailure().first);
    EXPECT_EQ(states, (QStringList{"1:0/0:", "2:1/1:", "3:1/0:连接被拒绝", "4:1/0:超时",
                                   "5:0/0:", "6:1/0:HTTP 404", "7:1/1:", "8:0/0:"}));
    std::vector<std::string> targets;
    for (const std::string& request : t.server.requests())
        targets.push_back(request.substr(4, request.find(' ', 4) - 4));
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets, (std::vector<std::string>{"/gone/www.a.example", "/half/www.a.example",
                                                 "/ok/www.a.example", "/slow/www.a.example"}));
}

TEST(SendReport, ProgressTextWithTheTimeLeft) {
    const struct {
        long long done, total;
        qint64 elapsedMs;
        const char* text;
    } cases[] = {
        {0, 100, 0, "0/100"},
        {4, 100, 5000, "4/100"},  // too few jobs to tell
        {50, 100, 900, "50/100"}, // too early to tell
        {50, 100, 30000, "50/100 · 剩余 0:30"},
        {10, 6010, 1000, "10/6010 · 剩余 10:00"},
        {100, 100, 30000, "100/100"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sendProgressText(c.done, c.total, c.elapsedMs), QString::fromUtf8(c.text));
}

} // namespace
