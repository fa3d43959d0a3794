// Batch workers of several machines sharing one PostgreSQL database: the command line run as
// separate processes against the fake engines and a server the test starts.
#include "clirun.h"
#include "fakeengine.h"
#include "pgshared.h"
#include "store/rankdb.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <future>
#include <map>
#include <vector>

namespace {

class CliWorkerTest : public testing::Test {
protected:
    void SetUp() override {
        if (browserTestsOff())
            GTEST_SKIP() << "browser tests are switched off in this build";
        if (!sharedPgServer().running())
            GTEST_SKIP() << qPrintable(sharedPgServer().skipReason());
        static int made = 0;
        m_url = sharedPgServer().createDatabase(
            QStringLiteral("workers_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made));
        // The password as a worker's cron job would give it: never on the command line.
        qputenv("PGPASSWORD", PgServer::password().toUtf8());
        m_engine.setMarkup(FakeEngine::Markup::Today);
    }
    void TearDown() override { qunsetenv("PGPASSWORD"); }

    // A worker's own program folder, pointed at the fake engines; lease: LeaseSeconds.
    std::unique_ptr<ProgramDir> machine(int lease = 600) {
        auto dir = std::make_unique<ProgramDir>();
        EXPECT_TRUE(writeEngineSettings(dir->path(), m_engine.address(), true, false, {}));
        QFile ini(dir->file("Setting.ini"));
        EXPECT_TRUE(ini.open(QIODevice::Append));
        ini.write(QStringLiteral("[Database]\r\nLeaseSeconds=%1\r\n").arg(lease).toLatin1());
        return dir;
    }
    QStringList worker(const ProgramDir& dir, const QString& name) const {
        return dir.args({"batch", "--worker", name, "--db", m_url});
    }
    RankDatabase database() const {
        return RankDatabase(DatabaseAddress::server(m_url, PgServer::password()));
    }
    // site|keyword|engine|rank of every stored row, by id.
    QStringList storedRows() {
        RankDatabase db = database();
        QSqlQuery query(db.connection());
        query.exec("SELECT Web, SearchKey, SearcherType, SortNum FROM QuerySort ORDER BY id");
        QStringList rows;
        while (query.next())
            rows << QStringList{query.value(0).toString(), query.value(1).toString(),
                                query.value(2).toString(), query.value(3).toString()}
                        .join('|');
        return rows;
    }
    QString status(const ProgramDir& dir) {
        const Outcome o = runCli(dir.args({"batch", "--status", "--db", m_url}));
        EXPECT_EQ(o.code, 0) << show(o);
        return o.out.trimmed().section(QStringLiteral(": "), 1);
    }

    FakeEngine m_engine;
    QString m_url;
};

// Thirty queries (ten keywords, three sites each) split by three workers started together:
// each keyword's page is loaded once in all, and every rank is stored once.
TEST_F(CliWorkerTest, threeWorkersSplitABatch) {
    std::map<QString, int> expected; // "site|keyword" -> rank
    {
        RankDatabase db = database();
        for (int k = 0; k < 10; ++k) {
            const std::string keyword = "kw" + std::to_string(k);
            FakeEngine::TodayPlan plan{.lastPage = 1};
            const int indexes[] = {0, 1, 3}; // index 2 is a card; ranks 1, 2, 4
            for (int s = 0; s < 3; ++s) {
                const std::string site = "site" + std::to_string(s) + ".cn";
                plan.placed[{1, indexes[s]}] = "https://" + site + "/";
                db.insertBatch(Text(site), Text(keyword), 1);
                expected[QString::fromStdString(site + "|" + keyword)] = indexes[s] + 1;
            }
            m_engine.plan(keyword, plan);
        }
    }
    std::vector<std::unique_ptr<ProgramDir>> machines;
    std::vector<std::future<Outcome>> runs;
    for (int w = 0; w < 3; ++w) {
        machines.push_back(machine());
        runs.push_back(std::async(std::launch::async, [this, &machines, w] {
            return runCli(worker(*machines[w], QStringLiteral("w%1").arg(w)));
        }));
    }
    int lines = 0;
    for (auto& run : runs) {
        const Outcome o = run.get();
        EXPECT_EQ(o.code, 0) << show(o);
        lines += static_cast<int>(o.out.count('\n'));
    }
    EXPECT_EQ(lines, 30);

    std::map<QString, int> pagesByKeyword;
    for (const FakeEngine::Request& r : m_engine.served())
        ++pagesByKeyword[QString::fromStdString(r.keyword)];
    EXPECT_EQ(pagesByKeyword.size(), 10u);
    for (const auto& [keyword, pages] : pagesByKeyword)
        EXPECT_EQ(pages, 1) << keyword.toStdString();

    const QStringList rows = storedRows();
    EXPECT_EQ(rows.size(), 30);
    std::map<QString, int> got;
    for (const QString& row : rows) {
        const QStringList f = row.split('|');
        EXPECT_EQ(f[2], QStringLiteral("0"));
        EXPECT_TRUE(got.emplace(f[0] + '|' + f[1], f[3].toInt()).second)
            << "twice: " << row.toStdString();
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(status(*machines[0]),
              QStringLiteral("done 30, claimed 0, blocked 0, to retry 0, failed 0, left 0"));
}

// A worker killed in the middle of its scan keeps its query for the lease; then another worker
// takes it, and the rank is stored once.
TEST_F(CliWorkerTest, aKilledWorkersQueryIsTakenAfterItsLease) {
    {
        RankDatabase db = database();
        db.insertBatch("target.cn", "seo", 1);
    }
    // The first load hangs, so the worker is surely in the middle of its scan when killed.
    m_engine.plan("seo", FakeEngine::TodayPlan{.placed = {{{1, 0}, "https://target.cn/"}},
                                               .lastPage = 1,
                                               .trouble = {{1, FakeEngine::Trouble::Silent}}});
    std::atomic<bool> asked = false;
    m_engine.setOnPage([&](const FakeEngine::Request&) { asked = true; });
    // Long enough for the next worker to start while it holds, under any load.
    const auto dir = machine(10);
    const Outcome killed = runCli(worker(*dir, "dies"), [&](qint64 pid) {
        for (int i = 0; i < 1200 && !asked; ++i)
            QThread::msleep(50);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    });
    ASSERT_TRUE(asked);
    EXPECT_EQ(killed.code, -1) << show(killed);
    m_engine.plan("seo",
                  FakeEngine::TodayPlan{.placed = {{{1, 0}, "https://target.cn/"}}, .lastPage = 1});
    EXPECT_EQ(status(*dir), QStringLiteral("done 0, claimed 1 (dies 1), blocked 0, to retry 0, "
                                           "failed 0, left 0"));

    // Still leased: another worker finds nothing to do.
    const Outcome early = runCli(worker(*dir, "early"));
    EXPECT_EQ(early.code, 0) << show(early);
    EXPECT_EQ(early.out, QString()) << show(early);
    EXPECT_TRUE(storedRows().isEmpty());

    // The lease runs out by the server's clock, in whole seconds: the query is open again.
    const QString open =
        QStringLiteral("done 0, claimed 0, blocked 0, to retry 0, failed 0, left 1");
    for (int i = 0; i < 60 && status(*dir) != open; ++i)
        QThread::msleep(500);
    const Outcome late = runCli(worker(*dir, "late"));
    EXPECT_EQ(late.code, 0) << show(late);
    EXPECT_TRUE(late.out.contains(QStringLiteral("查询中排名第 1 位"))) << show(late);
    EXPECT_EQ(storedRows(), QStringList{"target.cn|seo|0|1"});
    EXPECT_EQ(status(*dir),
              QStringLiteral("done 1, claimed 0, blocked 0, to retry 0, failed 0, left 0"));
}

// A worker whose database connection is cut in the middle of a scan cannot renew its lease: the
// scan under way still ends (its rank is stored over a new connection), then the worker ends
// with the error, exit 1.
TEST_F(CliWorkerTest, aLostDatabaseEndsTheWorkerWithItsError) {
    {
        RankDatabase db = database();
        db.insertBatch("target.cn", "seo", 1);
    }
    m_engine.plan("seo",
                  FakeEngine::TodayPlan{.placed = {{{1, 0}, "https://target.cn/"}}, .lastPage = 1});
    // The page takes long enough for the lease (renewed every 1.7 s) to need renewing.
    std::atomic<bool> asked = false;
    m_engine.setOnPage([&](const FakeEngine::Request&) {
        asked = true;
        QThread::sleep(5);
    });
    const auto dir = machine(5);
    const QString name = QUrl(m_url).path().mid(1);
    const Outcome o = runCli(worker(*dir, "w"), [&](qint64) {
        for (int i = 0; i < 1200 && !asked; ++i)
            QThread::msleep(50);
        sharedPgServer().psql(QStringLiteral("postgres"),
                              QStringLiteral("SELECT pg_terminate_backend(pid) FROM "
                                             "pg_stat_activity WHERE datname = '%1'")
                                  .arg(name));
    });
    ASSERT_TRUE(asked);
    EXPECT_EQ(o.code, 1) << show(o);
    EXPECT_TRUE(o.err.contains(QStringLiteral("terminating connection"))) << show(o);
    EXPECT_EQ(storedRows(), QStringList{"target.cn|seo|0|1"});
}

// The connection cut just as a worker marks its finished query done, as a server restart cuts
// it: the rank and its claim are one step, so neither is written, and the worker ends naming the
// result it could not store. Once the lease has run out the query is scanned again and both are
// written. (Before, the rank was stored and its claim stayed claimed.)
TEST_F(CliWorkerTest, aConnectionCutAtTheClaimWritesNeitherRankNorClaim) {
    {
        RankDatabase db = database();
        db.insertBatch("target.cn", "seo", 1);
    }
    m_engine.plan("seo",
                  FakeEngine::TodayPlan{.placed = {{{1, 0}, "https://target.cn/"}}, .lastPage = 1});
    const QString name = QUrl(m_url).path().mid(1);
    // Once only: a sequence counts outside the transaction that the cut rolls back.
    for (const char* sql :
         {"CREATE SEQUENCE cuts",
          "CREATE FUNCTION cut() RETURNS trigger AS $$ BEGIN IF nextval('cuts') = 1 THEN "
          "PERFORM pg_terminate_backend(pg_backend_pid()); END IF; RETURN NEW; END $$ "
          "LANGUAGE plpgsql",
          "CREATE TRIGGER cut BEFORE UPDATE ON BatchClaims FOR EACH ROW "
          "WHEN (NEW.State = 'done') EXECUTE FUNCTION cut()",
          "GRANT USAGE ON SEQUENCE cuts TO PUBLIC"})
        sharedPgServer().psql(name, QString::fromUtf8(sql));
    const auto dir = machine(3);
    const Outcome cut = runCli(worker(*dir, "w"));
    EXPECT_EQ(cut.code, 1) << show(cut);
    EXPECT_TRUE(cut.err.contains(QStringLiteral("The result of \"target.cn\" on 百度 for \"seo\" "
                                                "(rank 1) was not stored")))
        << show(cut);
    EXPECT_TRUE(cut.err.contains(QStringLiteral("terminating connection"))) << show(cut);
    EXPECT_TRUE(storedRows().isEmpty());

    const QString open =
        QStringLiteral("done 0, claimed 0, blocked 0, to retry 0, failed 0, left 1");
    for (int i = 0; i < 60 && status(*dir) != open; ++i)
        QThread::msleep(500);
    EXPECT_EQ(status(*dir), open);
    const Outcome again = runCli(worker(*dir, "again"));
    EXPECT_EQ(again.code, 0) << show(again);
    EXPECT_EQ(storedRows(), QStringList{"target.cn|seo|0|1"});
    EXPECT_EQ(status(*dir),
              QStringLiteral("done 1, claimed 0, blocked 0, to retry 0, failed 0, left 0"));
}

// A blocked query goes back to the list with its count: the other query is done before it is
// tried again, and after its third block in a day it is left for the report.
TEST_F(CliWorkerTest, aBlockedQueryIsReleasedAndCounted) {
    {
        RankDatabase db = database();
        db.insertBatch("target.cn", "blocked", 1);
        db.insertBatch("target.cn", "fine", 1);
    }
    m_engine.plan("blocked",
                  FakeEngine::TodayPlan{.trouble = {{1, FakeEngine::Trouble::Captcha302}}});
    m_engine.plan("fine",
                  FakeEngine::TodayPlan{.placed = {{{1, 1}, "https://target.cn/"}}, .lastPage = 1});
    const auto dir = machine();
    const Outcome o = runCli(worker(*dir, "w"));
    EXPECT_EQ(o.code, 3) << show(o);
    const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << show(o);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\"blocked\" 查询中遇到验证页面"))) << show(o);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\"fine\" 查询中排名第 2 位"))) << show(o);
    EXPECT_TRUE(lines[2].contains(QStringLiteral("\"blocked\" 查询中遇到验证页面"))) << show(o);
    EXPECT_TRUE(lines[3].contains(QStringLiteral("\"blocked\" 查询中遇到验证页面"))) << show(o);
    EXPECT_EQ(storedRows(), QStringList{"target.cn|fine|0|2"});
    EXPECT_EQ(status(*dir),
              QStringLiteral("done 1, claimed 0, blocked 0, to retry 0, failed 1, left 0"));
    // Another run the same day leaves it alone.
    const Outcome again = runCli(worker(*dir, "w"));
    EXPECT_EQ(again.code, 0) << show(again);
    EXPECT_EQ(again.out, QString()) << show(again);
}

} // namespace
