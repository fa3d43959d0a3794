#include "app/historymodel.h"
#include "eitherdatabase.h"
#include "store/rankdb.h"
#include "store/sqldialect.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/inifile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

const QDate kDay(2024, 3, 9);

DatabaseAddress connStr(const QString& path) {
    return DatabaseAddress::file(path);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Counted with plain SQL rather than through the history model.
qint64 countRows(RankDatabase& db, const QString& table) {
    QSqlQuery query(db.connection());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

// One history row as the grid shows it.
struct Shown {
    QString web;
    QString keyword;
    QString engine;
    QString rank;
    QString date;
    bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os) {
    const QString row = QStringList{s.web, s.keyword, s.engine, s.rank, s.date}.join('|');
    *os << row.toStdString();
}

std::vector<Shown> shownHistory(RankDatabase& db) {
    HistoryModel model;
    model.RefreshHistory(db);
    std::vector<Shown> rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        auto text = [&](int column) { return model.index(r, column).data().toString(); };
        rows.push_back({text(HistoryModel::Web), text(HistoryModel::SearchKey),
                        text(HistoryModel::SearcherType), text(HistoryModel::SortNum),
                        text(HistoryModel::QueryDate)});
    }
    return rows;
}

QString isoDate(const QDate& day) {
    return day.toString(Qt::ISODate);
}

class RankDbTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString dbPath() const { return m_dir.filePath("Sort.mdb"); }

    QTemporaryDir m_dir;
};

using RankDbOnEither = OnEitherDatabase;

INSTANTIATE_TEST_SUITE_P(Databases, RankDbOnEither, eitherDatabase, databaseName);

// Where a program folder's rank database is: --db, else Setting.ini's [Database] Url with its
// password, else the folder's "Sort.mdb".
TEST(RankDbAddress, FromTheCommandLineTheSettingsOrTheFolder) {
    const struct {
        const char* name;
        QByteArray settings; // the content of Setting.ini
        QString url;         // --db
        DatabaseAddress expected;
    } cases[] = {
        {"no settings", {}, {}, DatabaseAddress::file("/p/中文/Sort.mdb")},
        {"settings' url and password",
         "[Database]\r\nUrl= postgresql://u@h/d \r\nPassword=secret\r\n",
         {},
         DatabaseAddress::server("postgresql://u@h/d", "secret")},
        {"--db wins, the settings' password stays",
         "[Database]\r\nUrl=postgresql://u@h/d\r\nPassword=secret\r\n", "postgresql://v@k/e",
         DatabaseAddress::server("postgresql://v@k/e", "secret")},
        // Checked when first used, and said then.
        {"another kind of address", {}, "mysql://u@h/d", DatabaseAddress::server("mysql://u@h/d")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString ini = dir.filePath("Setting.ini");
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.settings);
        file.close();
        const DatabaseAddress address =
            rankDatabaseAddress(QStringLiteral("/p/中文/"), IniFile(ini), c.url);
        EXPECT_EQ(address.path, c.expected.path);
        EXPECT_EQ(address.url, c.expected.url);
        EXPECT_EQ(address.password, c.expected.password);
        EXPECT_EQ(address.isServer(), c.expected.isServer());
    }
}

// What keeps an address from naming a shared database is known before any connection.
TEST(RankDbAddress, ProblemsFoundBeforeConnecting) {
    const struct {
        const char* address;
        AddressProblem expected;
    } cases[] = {
        {"postgresql://moting@db.example.lan:5432/moting", AddressProblem::None},
        {"postgres://u@h/d", AddressProblem::None},
        {"PostgreSQL://u@h/d?sslmode=require", AddressProblem::None},
        {"postgresql://u:secret@h/d", AddressProblem::Password},
        {"postgresql://u@h/d?sslmode=require&PassWord=secret", AddressProblem::Password},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb", AddressProblem::ConnectionString},
        {" dbq=x.mdb", AddressProblem::ConnectionString},
        {"mysql://u@h/d", AddressProblem::Form},
        {"postgresql://u@h/", AddressProblem::Form},
        {"postgresql://u@h/d/e", AddressProblem::Form},
        {"postgresql:///d", AddressProblem::Form},
        {"db.example.lan", AddressProblem::Form},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(serverAddressProblem(QString::fromUtf8(c.address)), c.expected);
    }
}

// Each store is (site, keyword, engine, rank, day offset); the history lists the rows newest
// first.
TEST_P(RankDbOnEither, OneRowPerSiteKeywordEngineAndDay) {
    struct Store {
        const char* site;
        const char* keyword;
        int engine;
        int rank;
        int day;
    };
    const struct {
        const char* name;
        std::vector<Store> stores;
        std::vector<Store> history;
    } cases[] = {
        {"repeat on one day replaces and comes first",
         {{"a.com", "seo", 0, 5, 0}, {"b.com", "seo", 0, 7, 0}, {"a.com", "seo", 0, 3, 0}},
         {{"a.com", "seo", 0, 3, 0}, {"b.com", "seo", 0, 7, 0}}},
        {"three times on one day",
         {{"a.com", "seo", 1, 5, 0}, {"a.com", "seo", 1, 6, 0}, {"a.com", "seo", 1, 0, 0}},
         {{"a.com", "seo", 1, 0, 0}}},
        {"two days keep two rows",
         {{"a.com", "seo", 0, 5, 0}, {"a.com", "seo", 0, 3, 1}},
         {{"a.com", "seo", 0, 3, 1}, {"a.com", "seo", 0, 5, 0}}},
        {"a repeat replaces only the same day's row",
         {{"a.com", "seo", 0, 5, 0}, {"a.com", "seo", 0, 6, 1}, {"a.com", "seo", 0, 7, 1}},
         {{"a.com", "seo", 0, 7, 1}, {"a.com", "seo", 0, 5, 0}}},
        {"another engine, keyword or site is another row",
         {{"a.com", "seo", 0, 1, 0},
          {"a.com", "seo", 2, 2, 0},
          {"a.com", "seo2", 0, 3, 0},
          {"b.com", "seo", 0, 4, 0}},
         {{"b.com", "seo", 0, 4, 0},
          {"a.com", "seo2", 0, 3, 0},
          {"a.com", "seo", 2, 2, 0},
          {"a.com", "seo", 0, 1, 0}}},
    };
    const QString engines[] = {"百度", "搜狗", "好搜"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RankDatabase db(freshDatabase());
        QDate today = kDay;
        db.setToday([&] { return today; });
        for (const Store& s : c.stores) {
            today = kDay.addDays(s.day);
            db.StoreRank(s.site, s.keyword, s.engine, s.rank);
        }
        std::vector<Shown> expected;
        for (const Store& s : c.history)
            expected.push_back({s.site, s.keyword, engines[s.engine],
                                s.rank == 0 ? QStringLiteral("未找到") : QString::number(s.rank),
                                isoDate(kDay.addDays(s.day))});
        EXPECT_EQ(shownHistory(db), expected);
        EXPECT_EQ(countRows(db, "QuerySort"), static_cast<qint64>(c.history.size()));
    }
}

TEST_P(RankDbOnEither, HistoryShowsTheNewestHundred) {
    RankDatabase db(connection());
    db.setToday([] { return kDay; });
    for (int i = 0; i < 120; ++i)
        db.StoreRank("site.com", "k" + std::to_string(i), i % 3, i);
    EXPECT_EQ(countRows(db, "QuerySort"), 120);

    HistoryModel model;
    model.RefreshHistory(db);
    ASSERT_EQ(model.rowCount(), 100);
    for (int r = 0; r < model.rowCount(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(model.index(r, HistoryModel::SearchKey).data().toString(),
                  QStringLiteral("k%1").arg(119 - r));
        EXPECT_EQ(model.index(r, HistoryModel::SortNum).data().toInt(), 119 - r);
        if (r > 0) {
            EXPECT_LT(model.idAt(r), model.idAt(r - 1));
        }
    }
}

TEST_P(RankDbOnEither, HistoryColumns) {
    RankDatabase db(connection());
    db.setToday([] { return kDay; });
    db.StoreRank("a.com", "seo", 7, 2);
    HistoryModel model;
    model.RefreshHistory(db);
    QStringList titles;
    for (int c = HistoryModel::Web; c <= HistoryModel::QueryDate; ++c)
        titles << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"网址", "关键词", "搜索引擎", "排名", "变化", "查询日期"}));
    // An engine outside 0-2 shows an empty cell.
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.index(0, HistoryModel::SearcherType).data().toString(), QString());
    EXPECT_EQ(model.index(0, HistoryModel::QueryDate).data().toString(), isoDate(kDay));
}

// Texts go in as GBK bytes and come back unchanged, whatever quoting characters they hold.
TEST_P(RankDbOnEither, TextsRoundTrip) {
    const struct {
        const char* gbk;
        QString shown;
    } sites[] = {
        {"o'brien.com", "o'brien.com"},
        {"a\"b\".com", "a\"b\".com"},
        {"100%.com/?q=%25", "100%.com/?q=%25"},
        {"\xD6\xD0\xCE\xC4.com", "中文.com"},
        {"x.com';DROP TABLE QuerySort;--", "x.com';DROP TABLE QuerySort;--"},
        {"a_b\\c #1", "a_b\\c #1"},
    };
    const struct {
        const char* gbk;
        QString shown;
    } keywords[] = {
        {"it's", "it's"}, {"\"seo\"", "\"seo\""},
        {"50%", "50%"},   {"seo \xD3\xC5\xBB\xAF", "seo 优化"},
        {"''", "''"},
    };
    RankDatabase db(connection());
    db.setToday([] { return kDay; });
    for (const auto& site : sites) {
        for (const auto& keyword : keywords) {
            SCOPED_TRACE(std::string(site.gbk) + " / " + keyword.gbk);
            const qint64 before = countRows(db, "QuerySort");
            db.StoreRank(site.gbk, keyword.gbk, 1, 4);
            // Stored twice, so the day's row must be found again by the same texts.
            db.StoreRank(site.gbk, keyword.gbk, 1, 5);
            EXPECT_EQ(countRows(db, "QuerySort"), before + 1);
            const std::vector<Shown> history = shownHistory(db);
            ASSERT_FALSE(history.empty());
            EXPECT_EQ(history[0], (Shown{site.shown, keyword.shown, "搜狗", "5", isoDate(kDay)}));

            db.insertBatch(site.gbk, keyword.gbk, 3);
            const std::vector<RankDatabase::BatchRow> rows = db.batchRows();
            ASSERT_FALSE(rows.empty());
            EXPECT_EQ(rows.back().site, site.gbk);
            EXPECT_EQ(rows.back().keyword, keyword.gbk);
            EXPECT_EQ(rows.back().code, 3);
        }
    }
}

// A value the column cannot hold fails with a message naming the field; nothing is stored and
// the day's earlier row stays.
TEST_P(RankDbOnEither, ValuesBeyondTheColumnsAreRefused) {
    const Text chinese = "\xD6\xD0"; // 中, one character, two bytes
    auto repeat = [](const Text& unit, int n) {
        Text out;
        for (int i = 0; i < n; ++i)
            out += unit;
        return out;
    };
    const struct {
        const char* name;
        Text site;
        Text keyword;
        int rank;
        const char* field; // empty: accepted
        const char* limit;
    } cases[] = {
        {"site of 200", repeat("a", 196) + ".com", "seo", 1, "", ""},
        {"site of 201", repeat("a", 197) + ".com", "seo", 1, "网址", "200"},
        {"Chinese site of 200", repeat(chinese, 200), "seo", 1, "", ""},
        {"Chinese site of 201", repeat(chinese, 201), "seo", 1, "网址", "200"},
        {"keyword of 30", "a.com", repeat("k", 30), 1, "", ""},
        {"keyword of 31", "a.com", repeat("k", 31), 1, "关键词", "30"},
        {"Chinese keyword of 30", "a.com", repeat(chinese, 30), 1, "", ""},
        {"Chinese keyword of 31", "a.com", repeat(chinese, 31), 1, "关键词", "30"},
        {"site and keyword too long: the site is named", repeat("a", 201), repeat("k", 31), 1,
         "网址", "200"},
        {"a keyword counts up to a NUL", "a.com", Text("k\0", 2) + repeat("k", 40), 1, "", ""},
        {"highest rank", "a.com", "seo", 32767, "", ""},
        {"rank too high, same key as the earlier row", "a.com", "seo", 32768, "SortNum", "32767"},
        {"lowest rank", "a.com", "seo", -32768, "", ""},
        {"rank too low, same key as the earlier row", "a.com", "seo", -32769, "SortNum", "-32768"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RankDatabase db(freshDatabase());
        db.setToday([] { return kDay; });
        db.StoreRank("a.com", "seo", 0, 9);
        db.insertBatch("a.com", "seo", 1);
        const std::vector<Shown> earlier = shownHistory(db);

        std::optional<QString> storeError;
        try {
            db.StoreRank(c.site, c.keyword, 0, c.rank);
        } catch (const AppError& e) {
            storeError = e.message();
        }
        // What a run checks before its first page says the same, for the text fields.
        const bool textField = storeError && std::string_view(c.field) != "SortNum";
        EXPECT_EQ(rankFieldsError(c.site, c.keyword), textField ? *storeError : QString());
        if (*c.field == '\0') {
            EXPECT_FALSE(storeError) << qPrintable(*storeError);
            continue;
        }
        ASSERT_TRUE(storeError);
        EXPECT_TRUE(storeError->contains(c.field) && storeError->contains(c.limit))
            << qPrintable(*storeError);
        EXPECT_EQ(shownHistory(db), earlier);

        if (c.rank == 1) {
            std::optional<QString> batchError;
            try {
                db.insertBatch(c.site, c.keyword, 0);
            } catch (const AppError& e) {
                batchError = e.message();
            }
            EXPECT_EQ(batchError, storeError);
            EXPECT_EQ(db.batchRows().size(), 1u);
        }
    }
}

// A text too long for its column that reaches the database past the program's own check (an
// older copy, another program) is refused by the schema, in the same words.
TEST_P(RankDbOnEither, SchemaRefusesTooLongTextsInTheUsersWords) {
    RankDatabase db(freshDatabase());
    const struct {
        const char* name;
        QString site;
        QString keyword;
        const char* message;
    } cases[] = {
        {"site of 201", QString(201, QLatin1Char('a')), "seo", "网址最多 200 个字符"},
        {"keyword of 31", "a.com", QString(31, QChar(0x4E2D)), "关键词最多 30 个字符"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QSqlQuery insert(db.connection());
        insert.prepare("INSERT INTO BatchQuery (Web, SearchKey, SearcherType) VALUES (?, ?, 0)");
        insert.addBindValue(c.site);
        insert.addBindValue(c.keyword);
        ASSERT_FALSE(insert.exec());
        try {
            throwSqlError(insert.lastError());
        } catch (const AppError& e) {
            EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
            EXPECT_EQ(e.message(), rankFieldsError(qStringToGbk(c.site), qStringToGbk(c.keyword)));
        }
    }
}

TEST_F(RankDbTest, MissingOrEmptyFileGetsBothTables) {
    for (const bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty file" : "missing file");
        QFile::remove(dbPath());
        if (empty) {
            ASSERT_TRUE(writeAll(dbPath(), {}));
        }
        {
            RankDatabase db(connStr(dbPath()));
            EXPECT_TRUE(db.batchRows().empty());
            QSqlQuery query(db.connection());
            ASSERT_TRUE(query.exec("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                   "name IN ('QuerySort', 'BatchQuery') ORDER BY name"));
            QStringList tables;
            while (query.next())
                tables << query.value(0).toString();
            EXPECT_EQ(tables, (QStringList{"BatchQuery", "QuerySort"}));
            EXPECT_EQ(countRows(db, "QuerySort"), 0);
        }
        EXPECT_TRUE(readAll(dbPath()).startsWith(QByteArray("SQLite format 3\0", 16)));
    }
}

// Whatever the database is asked to do, a file of another kind is neither read as a database
// nor changed.
TEST_F(RankDbTest, ForeignFileIsRefusedAndLeftAsItIs) {
    QByteArray access(4096, '\0');
    access.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"Access file", access},
        {"text", "site\tkeyword\r\n\xD6\xD0\xCE\xC4\r\n"},
        {"three bytes", "abc"},
        {"truncated SQLite header", QByteArray("SQLite format", 13)},
    };
    const struct {
        const char* name;
        std::function<void(RankDatabase&)> use;
    } uses[] = {
        {"store", [](RankDatabase& db) { db.StoreRank("a.com", "seo", 0, 1); }},
        {"history",
         [](RankDatabase& db) {
             HistoryModel model;
             model.RefreshHistory(db);
         }},
        {"batch list", [](RankDatabase& db) { db.batchRows(); }},
        {"batch insert", [](RankDatabase& db) { db.insertBatch("a.com", "seo", 0); }},
    };
    for (const auto& file : files) {
        for (const auto& use : uses) {
            SCOPED_TRACE(std::string(file.name) + ", " + use.name);
            ASSERT_TRUE(writeAll(dbPath(), file.bytes));
            RankDatabase db(connStr(dbPath()));
            std::optional<QString> error;
            try {
                use.use(db);
            } catch (const AppError& e) {
                error = e.message();
            }
            ASSERT_TRUE(error);
            EXPECT_TRUE(error->contains("not an SQLite database")) << qPrintable(*error);
            EXPECT_EQ(readAll(dbPath()), file.bytes);
            EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                      QStringList{"Sort.mdb"});
        }
    }
}

TEST_P(RankDbOnEither, BatchRowsInOrderAndDeletedById) {
    RankDatabase db(connection());
    db.insertBatch("a.com", "seo", 0);
    db.insertBatch("b.com", "\xD6\xD0\xCE\xC4", 3);
    db.insertBatch("a.com", "seo", 0);
    db.insertBatch("c.com", "seo", 2);
    std::vector<RankDatabase::BatchRow> rows = db.batchRows();
    ASSERT_EQ(rows.size(), 4u);
    const Text order[][2] = {
        {"a.com", "seo"}, {"b.com", "\xD6\xD0\xCE\xC4"}, {"a.com", "seo"}, {"c.com", "seo"}};
    const int codes[] = {0, 3, 0, 2};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].site, order[i][0]);
        EXPECT_EQ(rows[i].keyword, order[i][1]);
        EXPECT_EQ(rows[i].code, codes[i]);
    }

    // Of two identical rows only the one chosen goes.
    const qint64 firstId = rows[0].id;
    db.deleteBatch(rows[2].id);
    rows = db.batchRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, firstId);
    EXPECT_EQ(
        std::count_if(rows.begin(), rows.end(), [](const auto& r) { return r.site == "a.com"; }),
        1);

    // A row added after a deletion comes last, not in the gap.
    db.insertBatch("d.com", "seo", 1);
    rows = db.batchRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows.back().site, "d.com");
}

TEST_P(RankDbOnEither, DeleteRankRemovesOnlyThatRow) {
    RankDatabase db(connection());
    db.setToday([] { return kDay; });
    db.StoreRank("a.com", "seo", 0, 1);
    db.StoreRank("a.com", "seo", 1, 2);
    db.StoreRank("a.com", "seo", 2, 3);
    HistoryModel model;
    model.RefreshHistory(db);
    ASSERT_EQ(model.rowCount(), 3);
    db.deleteRank(model.idAt(1));
    EXPECT_EQ(shownHistory(db), (std::vector<Shown>{{"a.com", "seo", "好搜", "3", isoDate(kDay)},
                                                    {"a.com", "seo", "百度", "1", isoDate(kDay)}}));
}

// The window's data sets and a second copy of the program each hold their own connection.
TEST_P(RankDbOnEither, ConnectionsSeeEachOthersRows) {
    RankDatabase a(connection());
    RankDatabase b(connection());
    a.setToday([] { return kDay; });
    b.setToday([] { return kDay; });
    EXPECT_TRUE(b.batchRows().empty()); // b is open before a writes

    a.StoreRank("a.com", "seo", 0, 4);
    EXPECT_EQ(shownHistory(b), (std::vector<Shown>{{"a.com", "seo", "百度", "4", isoDate(kDay)}}));
    // b replaces the row a stored that day.
    b.StoreRank("a.com", "seo", 0, 2);
    EXPECT_EQ(shownHistory(a), (std::vector<Shown>{{"a.com", "seo", "百度", "2", isoDate(kDay)}}));

    b.insertBatch("b.com", "seo", 1);
    ASSERT_EQ(a.batchRows().size(), 1u);
    EXPECT_EQ(a.batchRows()[0].site, "b.com");
}

// A store meeting another connection's open write transaction waits for it to end.
TEST_P(RankDbOnEither, StoreWaitsForAnotherWriter) {
    RankDatabase a(connection());
    a.setToday([] { return kDay; });
    a.StoreRank("seed.com", "seo", 0, 1);

    QSqlDatabase& open = a.connection();
    ASSERT_TRUE(open.transaction());
    QSqlQuery insert(open);
    ASSERT_TRUE(insert.exec("INSERT INTO QuerySort (Web, SearchKey, SearcherType, SortNum, "
                            "QueryDate) VALUES ('a.com', 'seo', 0, 1, '2024-03-09')"));

    std::atomic<bool> started = false;
    std::optional<QString> error;
    std::thread other([&] {
        RankDatabase b(connection());
        b.setToday([] { return kDay; });
        try {
            started = true;
            b.StoreRank("b.com", "seo", 0, 2);
            // The same key again, now that the row exists: replaced under the same rules.
            b.StoreRank("b.com", "seo", 0, 3);
        } catch (const AppError& e) {
            error = e.message();
        }
    });
    while (!started)
        std::this_thread::yield();
    QThread::msleep(200);
    const bool committed = open.commit();
    other.join();

    EXPECT_TRUE(committed);
    EXPECT_FALSE(error) << qPrintable(*error);
    const std::vector<Shown> history = shownHistory(a);
    QStringList sites;
    for (const Shown& s : history)
        sites << s.web + "=" + s.rank;
    sites.sort();
    EXPECT_EQ(sites.join(' ').toStdString(), "a.com=1 b.com=3 seed.com=1");
}

// Another connection holds the history's write lock, as an import does while it runs, for hold
// and lets go; held says while. It takes the lock as every writer of the history does.
std::thread holdWriteLock(const DatabaseAddress& address, std::chrono::milliseconds hold,
                          std::atomic<int>& held) {
    return std::thread([address, hold, &held] {
        RankDatabase db(address);
        QSqlDatabase& open = db.connection();
        execOrThrow(open, beginWriteStatements(dialectOf(open)));
        held = 1;
        std::this_thread::sleep_for(hold);
        held = open.commit() ? 2 : -1;
    });
}

// A store that meets another writer's lock waits for it as long as its wait allows, trying again
// and again (the caller hears of each pause), and then stores; a lock held longer ends the store
// with DatabaseBusy before the lock is gone, storing nothing.
TEST_P(RankDbOnEither, StoreWaitsForALockAsLongAsItsWaitAllows) {
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        std::chrono::milliseconds hold;
        std::chrono::milliseconds wait;
        bool stored;
    } cases[] = {
        // An import of 60,000 rows held "Sort.mdb" longer than SQLite's own 10 s: the rank's
        // store failed with "database is locked." and the result was lost.
        {"a lock longer than the file's own time-out, within the page time-out", 11500ms, 60s,
         true},
        {"a lock beyond the wait", 4000ms, 700ms, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DatabaseAddress address = freshDatabase();
        RankDatabase db(address);
        db.setToday([] { return kDay; });
        db.StoreRank("seed.com", "seo", 0, 1);
        std::atomic<int> held = 0;
        std::thread holder = holdWriteLock(address, c.hold, held);
        while (held == 0)
            std::this_thread::yield();
        int pauses = 0;
        std::optional<QString> busy;
        try {
            db.storeRankWaiting("a.com", "seo", 0, 4, {}, LockWait{c.wait, [&] { ++pauses; }});
        } catch (const DatabaseBusy& e) {
            busy = e.message();
        } catch (const AppError& e) {
            ADD_FAILURE() << "not taken for a lock: " << qPrintable(e.message());
        }
        const int heldAtTheEnd = held;
        holder.join();
        EXPECT_EQ(held, 2);
        EXPECT_GT(pauses, 0);
        const qint64 rows = countRows(db, "QuerySort");
        if (c.stored) {
            EXPECT_FALSE(busy) << qPrintable(*busy);
            EXPECT_EQ(heldAtTheEnd, 2);
            EXPECT_EQ(rows, 2);
        } else {
            EXPECT_TRUE(busy);
            EXPECT_EQ(heldAtTheEnd, 1) << "the store waited for the lock to go";
            EXPECT_EQ(rows, 1);
        }
    }
}

// The duplicate check of an import, the day's row of a store and the claims find a site,
// keyword, engine and day by the index, in a new file and in one of an earlier release alike;
// without it an import of 60,000 rows took a minute, holding the write lock all along.
TEST_P(RankDbOnEither, RowsAreFoundByTheirIndex) {
    std::vector<DatabaseAddress> files{connection()};
    if (GetParam() == Backend::Sqlite) {
        const QString earlier = m_dir.filePath("earlier.mdb");
        ASSERT_TRUE(QFile::copy(QStringLiteral(MT_TEST_DATA "/sort-1.0.mdb"), earlier));
        QFile::setPermissions(earlier, QFile::ReadOwner | QFile::WriteOwner);
        files.push_back(DatabaseAddress::file(earlier));
    }
    for (const DatabaseAddress& file : files) {
        SCOPED_TRACE(file.path.toStdString());
        RankDatabase db(file);
        QSqlQuery plan(db.connection());
        const QString lookUp = "SELECT 1 FROM QuerySort WHERE Web = 'a.com' AND SearchKey = "
                               "'seo' AND SearcherType = 0 AND QueryDate = '2024-03-09'";
        ASSERT_TRUE(plan.exec(GetParam() == Backend::Sqlite ? "EXPLAIN QUERY PLAN " + lookUp
                                                            : "SET enable_seqscan = off"))
            << qPrintable(plan.lastError().text());
        if (GetParam() == Backend::Postgres) {
            ASSERT_TRUE(plan.exec("EXPLAIN " + lookUp));
        }
        QString text;
        while (plan.next())
            text += plan.value(plan.record().count() - 1).toString() + '\n';
        EXPECT_TRUE(text.contains("QuerySortKey", Qt::CaseInsensitive)) << qPrintable(text);
    }
}

// A process killed in the middle of storing leaves a sound file that holds every row it
// reported stored.
TEST_F(RankDbTest, KilledWriterLeavesEveryReportedRow) {
    QProcess burst;
    burst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    burst.start(QStringLiteral(MT_STORE_BURST), {dbPath()});
    ASSERT_TRUE(burst.waitForStarted(30000)) << qPrintable(burst.errorString());

    QByteArray out;
    const QDeadlineTimer deadline(120000);
    while (out.count('\n') < 50 && burst.state() == QProcess::Running && !deadline.hasExpired()) {
        burst.waitForReadyRead(1000);
        out += burst.readAllStandardOutput();
    }
    ASSERT_EQ(burst.state(), QProcess::Running) << "the writer ended before it was killed";
    ASSERT_GE(out.count('\n'), 50);
    burst.kill();
    ASSERT_TRUE(burst.waitForFinished(30000));
    EXPECT_EQ(burst.exitStatus(), QProcess::CrashExit);
    out += burst.readAllStandardOutput();

    // Only whole lines count; a number cut off by the kill was never reported.
    const QList<QByteArray> lines = out.left(out.lastIndexOf('\n')).split('\n');
    const int reported = static_cast<int>(lines.size());
    for (int i = 0; i < reported; ++i)
        ASSERT_EQ(lines[i].toInt(), i);

    RankDatabase db(connStr(dbPath()));
    QSqlQuery check(db.connection());
    ASSERT_TRUE(check.exec("PRAGMA integrity_check"));
    ASSERT_TRUE(check.next());
    EXPECT_EQ(check.value(0).toString(), QStringLiteral("ok"));

    QSqlQuery keys(db.connection());
    ASSERT_TRUE(keys.exec("SELECT SearchKey FROM QuerySort"));
    QSet<QString> stored;
    qint64 rows = 0;
    while (keys.next()) {
        stored << keys.value(0).toString();
        ++rows;
    }
    EXPECT_EQ(rows, stored.size()) << "a row was stored twice";
    for (int i = 0; i < reported; ++i)
        ASSERT_TRUE(stored.contains(QStringLiteral("burst-%1").arg(i))) << i;
    // The store in flight when the process died may have finished, but nothing beyond it.
    EXPECT_LE(rows, reported + 1);
    if (rows == reported + 1) {
        EXPECT_TRUE(stored.contains(QStringLiteral("burst-%1").arg(reported)));
    }
}

} // namespace

namespace {

// A file as release 1.0 left it: five ranks over two days, two batch rows, no Url or Outcome
// column. The new columns are added in place, and every row stays.
TEST_F(RankDbTest, EarlierReleaseFileIsUpgradedInPlace) {
    ASSERT_TRUE(QFile::copy(QStringLiteral(MT_TEST_DATA "/sort-1.0.mdb"), dbPath()));
    QFile::setPermissions(dbPath(), QFile::ReadOwner | QFile::WriteOwner);
    auto version = [](RankDatabase& db) {
        QSqlQuery query(db.connection());
        return query.exec(QStringLiteral("PRAGMA user_version")) && query.next()
                   ? query.value(0).toInt()
                   : -1;
    };
    auto rows = [](RankDatabase& db) {
        QSqlQuery query(db.connection());
        query.exec(QStringLiteral("SELECT id, Web, SearchKey, SearcherType, SortNum, QueryDate, "
                                  "Url, Outcome FROM QuerySort ORDER BY id"));
        QStringList out;
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < 8; ++i)
                cells << query.value(i).toString();
            out << cells.join('|');
        }
        return out;
    };
    const QStringList upgraded = {
        "1|www.example.com|seo|0|7|2026-11-30||ranked",
        "2|www.example.com|seo|1|0|2026-11-30||not found",
        "3|www.example.com|seo|0|5|2026-12-01||ranked",
        "4|blog.example.org|优化|2|12|2026-12-01||ranked",
        "5|it's.example.net|a'b|1|0|2026-12-01||not found",
    };
    {
        RankDatabase db(connStr(dbPath()));
        EXPECT_EQ(version(db), RankDatabase::kSchemaVersion);
        EXPECT_EQ(rows(db), upgraded);
        const std::vector<RankDatabase::BatchRow> batch = db.batchRows();
        ASSERT_EQ(batch.size(), 2u);
        EXPECT_EQ(batch[1].keyword, "\xD3\xC5\xBB\xAF");
        EXPECT_EQ(batch[1].code, 3);

        // The day's row of a query is still replaced, now with its destination.
        db.setToday([] { return QDate(2026, 12, 1); });
        db.StoreRank("www.example.com", "seo", 0, 2, QStringLiteral("https://example.com/a?b=1&c"));
        const std::vector<RankDatabase::HistoryRow> history = db.historyRows(1);
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].rank, 2);
        EXPECT_EQ(history[0].url, QStringLiteral("https://example.com/a?b=1&c"));
        EXPECT_EQ(countRows(db, "QuerySort"), 5);
    }
    // Opening it again changes nothing.
    const QByteArray once = readAll(dbPath());
    {
        RankDatabase db(connStr(dbPath()));
        EXPECT_EQ(version(db), RankDatabase::kSchemaVersion);
        EXPECT_EQ(rows(db).size(), 5);
    }
    EXPECT_EQ(readAll(dbPath()), once);
}

// A file that cannot be written cannot be upgraded: said, and left as it was.
TEST_F(RankDbTest, ReadOnlyEarlierFileIsLeftAsItIs) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    ASSERT_TRUE(QFile::copy(QStringLiteral(MT_TEST_DATA "/sort-1.0.mdb"), dbPath()));
    QFile::setPermissions(dbPath(), QFile::ReadOwner);
    const QByteArray before = readAll(dbPath());
    RankDatabase db(connStr(dbPath()));
    EXPECT_THROW(db.historyRows(10), AppError);
    EXPECT_EQ(readAll(dbPath()), before);
}

} // namespace

namespace {

// A store tells the rank of the latest earlier day; a repeat the same day does not count.
TEST_P(RankDbOnEither, StoreTellsTheLatestEarlierDay) {
    RankDatabase db(connection());
    QDate day = kDay;
    db.setToday([&day] { return day; });
    EXPECT_EQ(db.StoreRank("a.com", "seo", 0, 9), std::nullopt);
    EXPECT_EQ(db.StoreRank("a.com", "seo", 0, 8), std::nullopt);
    EXPECT_EQ(db.StoreRank("a.com", "seo", 1, 3), std::nullopt);
    day = kDay.addDays(2);
    EXPECT_EQ(db.StoreRank("a.com", "seo", 0, 4), std::optional<int>(8));
    day = kDay.addDays(5);
    EXPECT_EQ(db.StoreRank("a.com", "seo", 0, 0), std::optional<int>(4));
    EXPECT_EQ(db.StoreRank("a.com", "other", 0, 1), std::nullopt);
}

} // namespace
