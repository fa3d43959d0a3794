#include "eitherdatabase.h"
#include "store/batchclaims.h"
#include "text/apperror.h"

#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QDate kDay(2024, 3, 9);

QStringList sites(const std::vector<RankQuery>& queries) {
    QStringList list;
    for (const RankQuery& q : queries)
        list << QString::fromStdString(q.site + "/" + q.keyword + "/" + std::to_string(q.engine));
    return list;
}

QString shown(const BatchClaims::Status& s) {
    QStringList holders;
    for (const auto& [worker, count] : s.claimedBy)
        holders << QStringLiteral("%1:%2").arg(worker).arg(count);
    return QStringLiteral("done %1 claimed %2 blocked %3 retry %4 failed %5 left %6")
        .arg(s.done)
        .arg(holders.join(','))
        .arg(s.blocked)
        .arg(s.retry)
        .arg(s.failed)
        .arg(s.left);
}

class BatchClaimsTest : public OnEitherDatabase {
protected:
    void SetUp() override {
        OnEitherDatabase::SetUp();
        if (IsSkipped())
            return;
        m_first = std::make_unique<RankDatabase>(connection());
        m_second = std::make_unique<RankDatabase>(connection());
        for (RankDatabase* db : {m_first.get(), m_second.get()})
            db->setToday([] { return kDay; });
    }
    std::vector<RankQuery> batch() const {
        return {{"a.cn", "k1", 0},
                {"b.cn", "k1", 0},
                {"a.cn", "k1", 1},
                {"a.cn", "k2", 0},
                {"c.cn", "k1", 0}};
    }

    // Two workers' connections.
    std::unique_ptr<RankDatabase> m_first;
    std::unique_ptr<RankDatabase> m_second;
};

INSTANTIATE_TEST_SUITE_P(Databases, BatchClaimsTest, eitherDatabase, databaseName);

// A keyword and engine at a time, all their sites together; done, released and failed queries
// as the day's status counts them.
TEST_P(BatchClaimsTest, claimsAKeywordAndEngineAtATime) {
    BatchClaims one(*m_first, "one", 600);
    BatchClaims two(*m_second, "two", 600);
    one.seed(batch());
    two.seed(batch()); // a second worker's seed adds nothing
    EXPECT_EQ(shown(one.status()), "done 0 claimed  blocked 0 retry 0 failed 0 left 5");

    const std::vector<RankQuery> first = one.claimNext();
    EXPECT_EQ(sites(first), (QStringList{"a.cn/k1/0", "b.cn/k1/0", "c.cn/k1/0"}));
    EXPECT_EQ(sites(two.claimNext()), QStringList{"a.cn/k1/1"});
    EXPECT_EQ(shown(one.status()), "done 0 claimed one:3,two:1 blocked 0 retry 0 failed 0 left 1");

    one.done(first[0]);
    one.release(first[1], Outcome::Blocked, "verification");
    one.release(first[2], Outcome::Failed, "HTTP 500");
    EXPECT_EQ(shown(one.status()), "done 1 claimed two:1 blocked 1 retry 1 failed 0 left 1");

    // The query never tried comes before those that failed.
    EXPECT_EQ(sites(one.claimNext()), QStringList{"a.cn/k2/0"});
    EXPECT_EQ(sites(one.claimNext()), (QStringList{"b.cn/k1/0", "c.cn/k1/0"}));
    for (int failure = 2; failure <= BatchClaims::kMaxFailures; ++failure) {
        one.release({"b.cn", "k1", 0}, Outcome::Blocked, "verification");
        one.giveBack({"c.cn", "k1", 0}); // stopped: not counted
        const std::vector<RankQuery> again = one.claimNext();
        const QStringList expected = failure < BatchClaims::kMaxFailures
                                         ? QStringList{"b.cn/k1/0", "c.cn/k1/0"}
                                         : QStringList{"c.cn/k1/0"};
        EXPECT_EQ(sites(again), expected);
    }
    one.done({"c.cn", "k1", 0});
    one.done({"a.cn", "k2", 0});
    two.done({"a.cn", "k1", 1});
    EXPECT_TRUE(one.claimNext().empty());
    EXPECT_EQ(shown(one.status()), "done 4 claimed  blocked 0 retry 0 failed 1 left 0");
}

// A rank stored today needs no scan, whoever stored it; a lease that ran out frees the query.
TEST_P(BatchClaimsTest, storedRanksAndLapsedLeases) {
    m_first->StoreRank("a.cn", "k1", 0, 3);
    BatchClaims one(*m_first, "one", 1);
    one.seed(batch());
    EXPECT_EQ(sites(one.claimNext()), (QStringList{"b.cn/k1/0", "c.cn/k1/0"}));
    m_second->StoreRank("b.cn", "k1", 0, 5); // the worker dies after storing, before saying so

    BatchClaims two(*m_second, "two", 600);
    EXPECT_EQ(sites(two.claimNext()), QStringList{"a.cn/k1/1"});
    EXPECT_EQ(sites(two.claimNext()), QStringList{"a.cn/k2/0"});
    EXPECT_TRUE(two.claimNext().empty()); // "one" still holds c.cn
    QThread::msleep(2100);                // its lease of a second runs out
    EXPECT_EQ(sites(two.claimNext()), QStringList{"c.cn/k1/0"});
    EXPECT_EQ(shown(two.status()), "done 2 claimed two:3 blocked 0 retry 0 failed 0 left 0");
}

// A stored rank and its claim marked done are one step: when the claim's write fails (the
// connection is cut there, as a server restart cuts it), the rank is not stored either, and the
// query stays the worker's until its lease runs out, to be scanned again.
TEST_P(BatchClaimsTest, aRankAndItsClaimAreStoredTogether) {
    const struct {
        const char* name;
        bool cut;
        const char* status;
        qint64 ranks;
    } cases[] = {
        {"both written", false, "done 1 claimed  blocked 0 retry 0 failed 0 left 0", 1},
        // The ranks were stored, yet their claims stayed claimed after a server restart.
        {"the connection cut as the claim is written", true,
         "done 0 claimed one:1 blocked 0 retry 0 failed 0 left 0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DatabaseAddress address = freshDatabase();
        RankDatabase worker(address);
        RankDatabase other(address);
        for (RankDatabase* db : {&worker, &other})
            db->setToday([] { return kDay; });
        BatchClaims one(worker, "one", 600);
        one.seed({{"a.cn", "k1", 0}});
        ASSERT_EQ(one.claimNext().size(), 1u);
        if (c.cut) {
            if (GetParam() == Backend::Sqlite) {
                QSqlQuery trigger(other.connection());
                ASSERT_TRUE(trigger.exec("CREATE TRIGGER cut BEFORE UPDATE ON BatchClaims "
                                         "WHEN NEW.State = 'done' BEGIN "
                                         "SELECT RAISE(ABORT, 'disk I/O error'); END"));
            } else {
                const QString name = QUrl(address.url).path().mid(1);
                sharedPgServer().psql(
                    name, "CREATE FUNCTION cut() RETURNS trigger AS $$ BEGIN "
                          "PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NEW; END $$ "
                          "LANGUAGE plpgsql");
                sharedPgServer().psql(name, "CREATE TRIGGER cut BEFORE UPDATE ON BatchClaims "
                                            "FOR EACH ROW WHEN (NEW.State = 'done') "
                                            "EXECUTE FUNCTION cut()");
            }
        }
        bool failed = false;
        try {
            one.storeDone({"a.cn", "k1", 0}, 3, "https://a.cn/", LockWait{});
        } catch (const AppError&) {
            failed = true;
        }
        EXPECT_EQ(failed, c.cut);
        BatchClaims look(other, "look", 600);
        EXPECT_EQ(shown(look.status()), c.status);
        QSqlQuery ranks(other.connection());
        ASSERT_TRUE(ranks.exec("SELECT COUNT(*) FROM QuerySort") && ranks.next());
        EXPECT_EQ(ranks.value(0).toLongLong(), c.ranks);
    }
}

// Two workers claiming at the same moment: a keyword and engine that the other is claiming is
// passed over whole, never split between them.
TEST_P(BatchClaimsTest, aKeywordBeingClaimedIsPassedOverWhole) {
    if (GetParam() != Backend::Postgres)
        GTEST_SKIP() << "SQLite has one writer at a time";
    BatchClaims two(*m_second, "two", 600);
    two.seed(batch());
    // "one" is in the middle of its claim of k1 on engine 0: its transaction holds the group.
    QSqlDatabase& db = m_first->connection();
    ASSERT_TRUE(db.transaction());
    QSqlQuery lock(db);
    ASSERT_TRUE(lock.exec("SELECT pg_advisory_xact_lock(hashtext('2024-03-09|k1'), 0)"));
    ASSERT_TRUE(lock.exec("SELECT Web FROM BatchClaims WHERE SearchKey = 'k1' AND "
                          "SearcherType = 0 AND Web = 'a.cn' FOR UPDATE"));

    EXPECT_EQ(sites(two.claimNext()), QStringList{"a.cn/k1/1"});
    EXPECT_EQ(sites(two.claimNext()), QStringList{"a.cn/k2/0"});
    EXPECT_TRUE(two.claimNext().empty());
    ASSERT_TRUE(db.rollback());
    EXPECT_EQ(sites(two.claimNext()), (QStringList{"a.cn/k1/0", "b.cn/k1/0", "c.cn/k1/0"}));
}

} // namespace
