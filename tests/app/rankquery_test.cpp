#include "app/batchqueryform.h"
#include "app/mainform.h"
#include "app/messagebox.h"
#include "fakeengine.h"
#include "store/rankdb.h"
#include "testsupport.h"
#include "text/codepage.h"
#include "windowparts.h"

#include <QComboBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

constexpr int kBaidu = 0;
constexpr int kSogou = 1;
constexpr int kHaosou = 2;
const QString kEngineNames[] = {QStringLiteral("百度"), QStringLiteral("搜狗"),
                                QStringLiteral("好搜")};

QString searching(int page) {
    return QStringLiteral("在第 %1 页中查找").arg(page);
}

// change: against the day before, as stored ranks get it; empty when nothing is stored.
QString reportLine(const QString& site, int engine, const QString& keyword, int rank,
                   const QString& change = QStringLiteral("新")) {
    return QStringLiteral("\"%1\" 在 %2 关键词 \"%3\" 查询中排名第 %4 位%5\r\n")
        .arg(site, kEngineNames[engine], keyword)
        .arg(rank)
        .arg(change.isEmpty() ? QString() : QStringLiteral("（%1）").arg(change));
}

Text gbk(const QString& text) {
    return qStringToGbk(text);
}

// What the window showed while each result page loaded, noted from inside the run: the server
// posts the look to the UI thread before it answers, so it is taken during that page's load.
struct Seen {
    QString status;
    bool queryEnabled;
    bool batchEnabled;
};

void watchLoads(FakeEngine& engine, TMainForm& form, QList<Seen>& seen) {
    engine.setOnPage([&form, &seen](const FakeEngine::Request&) {
        QMetaObject::invokeMethod(
            &form,
            [&form, &seen] {
                seen.push_back({statusText(form),
                                form.findChild<QPushButton*>("QuerySortButton")->isEnabled(),
                                form.findChild<QPushButton*>("BatchQuery")->isEnabled()});
            },
            Qt::QueuedConnection);
    });
}

QString servedPages(int engine, const QString& keyword, int first, int last) {
    QStringList out;
    for (int page = first; page <= last; ++page)
        out << QStringLiteral("%1:%2:%3").arg(engine).arg(page).arg(keyword);
    return out.join(' ');
}

} // namespace

Q_DECLARE_METATYPE(FakeEngine::Charset)

// Rank queries through the real browser against the fake engines on 127.0.0.1.
class RankQueryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // For a build or machine where Chromium cannot run inside the test process (a
        // sanitizer its libraries do not survive, no browser engine installed).
        if (qEnvironmentVariableIntValue("MT_SKIP_BROWSER_TESTS") == 1)
            QSKIP("MT_SKIP_BROWSER_TESTS=1: the browser tests are switched off");
    }

    void init() {
        MessageBox::takeShown();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(writeFileBytes(m_dir->filePath("Url.txt"), {}));
        m_engine = std::make_unique<FakeEngine>();
    }

    void cleanup() {
        m_engine.reset();
        // The browser profile writes its last files after the window has gone.
        QTRY_VERIFY_WITH_TIMEOUT(QDir(m_dir->path()).removeRecursively(), 10000);
        m_dir.reset();
        QCOMPARE(MessageBox::takeShown().size(), 0);
    }

    void findsTheRank_data() {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("placed"); // the site as the result pages show it
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("inHeader");
        QTest::addColumn<FakeEngine::Charset>("charset");
        QTest::addColumn<bool>("sortToDb");
        QTest::addColumn<int>("rank");
        QTest::addColumn<int>("pages");

        using C = FakeEngine::Charset;
        const QString a = QStringLiteral("www.target-a.cn");
        QTest::newRow("Baidu, page 1, third result")
            << kBaidu << a << a << 1 << 2 << false << C::Gbk << true << 3 << 1;
        QTest::newRow("Baidu, page 2, first result")
            << kBaidu << a << a << 2 << 0 << false << C::Utf8 << true << 11 << 2;
        QTest::newRow("Baidu, page 50, last result")
            << kBaidu << a << a << 50 << 9 << false << C::Alternating << true << 500 << 50;
        QTest::newRow("Sogou, typed in capitals, also in the header")
            << kSogou << QStringLiteral("  WWW.Target-B.COM ") << QStringLiteral("www.target-b.com")
            << 1 << 4 << true << C::Gbk << true << 5 << 1;
        QTest::newRow("Sogou, only in the header")
            << kSogou << a << a << 0 << -1 << true << C::Gbk << true << 0 << 1;
        QTest::newRow("Haosou, counts from its first heading")
            << kHaosou << a << a << 3 << 4 << false << C::Utf8 << true << 25 << 3;
        QTest::newRow("on no page")
            << kBaidu << a << a << 0 << -1 << false << C::Alternating << true << 0 << 50;
        QTest::newRow("empty site") << kSogou << QString() << QString() << 0 << -1 << false
                                    << C::Alternating << true << 0 << 50;
        QTest::newRow("nothing stored when storing is off")
            << kHaosou << a << a << 1 << 0 << false << C::Gbk << false << 1 << 1;
    }

    void findsTheRank() {
        QFETCH(int, engine);
        QFETCH(QString, typed);
        QFETCH(QString, placed);
        QFETCH(int, page);
        QFETCH(int, index);
        QFETCH(bool, inHeader);
        QFETCH(FakeEngine::Charset, charset);
        QFETCH(bool, sortToDb);
        QFETCH(int, rank);
        QFETCH(int, pages);
        const QString keyword = QStringLiteral("seo");
        QVERIFY(writeEngineSettings(m_dir->path(), m_engine->address(), sortToDb));
        m_engine->place(keyword.toStdString(), {placed.toStdString(), page, index, inHeader});
        m_engine->setCharset(charset);

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QList<Seen> seen;
        watchLoads(*m_engine, form, seen);
        rankTab(form).RunRankQueries({{gbk(typed), gbk(keyword), engine}});
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 180000);

        QCOMPARE(served(m_engine->served()), servedPages(engine, keyword, 1, pages));
        QCOMPARE(seen.size(), pages);
        for (int i = 0; i < pages; ++i) {
            QCOMPARE(seen[i].status, searching(i + 1));
            QVERIFY(!seen[i].queryEnabled);
            QVERIFY(!seen[i].batchEnabled);
        }
        // One query ends with its outcome on the status line, a site not found included.
        const QString site = typed.trimmed();
        QCOMPARE(statusText(form),
                 rank > 0 ? reportLine(site, engine, keyword, rank,
                                       sortToDb ? QStringLiteral("新") : QString())
                                .chopped(2)
                          : QStringLiteral("\"%1\" 在 %2 关键词 \"%3\" 的前 %4 页中未找到")
                                .arg(site, kEngineNames[engine], keyword)
                                .arg(pages));
        QVERIFY(form.findChild<QPushButton*>("QuerySortButton")->isEnabled());
        QVERIFY(form.findChild<QPushButton*>("BatchQuery")->isEnabled());

        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        if (rank > 0) {
            QCOMPARE(shown.size(), 1);
            QVERIFY(shown[0].kind == MessageBox::Kind::Information);
            QCOMPARE(shown[0].text, reportLine(site, engine, keyword, rank,
                                               sortToDb ? QStringLiteral("新") : QString()));
        } else {
            QCOMPARE(shown.size(), 0);
        }
        QCOMPARE(storedRanks(m_dir->path()),
                 sortToDb ? QStringList{stored(site, keyword, engine, rank)} : QStringList());

        // The last page loaded, lower-cased and in GBK whatever the page was sent in.
        const QByteArray temp = readFileBytes(m_dir->filePath("temp.txt"));
        QVERIFY2(temp.startsWith("<html") && temp.endsWith("</html>\r\n"), temp.left(200));
        QVERIFY(temp.contains("page-" + QByteArray::number(pages) + "-of-50"));
        QVERIFY(temp.contains("\xB5\xDA " + QByteArray::number(pages) + " \xD2\xB3")); // 第 n 页
        QVERIFY(!temp.contains("page-" + QByteArray::number(pages - 1) + "-of-50"));
        QVERIFY(temp == temp.toLower());
    }

    // What a user does: type the site and a Chinese keyword, choose the engine, click "查询".
    void queryButton() {
        QVERIFY(writeEngineSettings(m_dir->path(), m_engine->address()));
        const QString keyword = QStringLiteral("seo 优化");
        m_engine->place(keyword.toStdString(), {"www.button-site.com", 2, 3, false});

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClicks(form.findChild<QLineEdit*>("QueryWeb"), "www.button-site.com");
        auto* key = form.findChild<QLineEdit*>("QueryKey");
        QTest::keyClicks(key, "seo ");
        // Chinese comes through the input method.
        QInputMethodEvent chinese;
        chinese.setCommitString(QStringLiteral("优化"));
        QCoreApplication::sendEvent(key, &chinese);
        QCOMPARE(key->text(), keyword);
        form.findChild<QComboBox*>("SearcherCombox")->setCurrentIndex(kHaosou);
        QTest::mouseClick(form.findChild<QPushButton*>("QuerySortButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 180000);

        QCOMPARE(served(m_engine->served()), servedPages(kHaosou, keyword, 1, 2));
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, reportLine("www.button-site.com", kHaosou, keyword, 14));
        QCOMPARE(storedRanks(m_dir->path()),
                 QStringList{stored("www.button-site.com", keyword, kHaosou, 14)});
    }

    // An empty site or keyword would load every page and store a row without it: refused,
    // naming the field, before anything loads. The fields take no more than the history keeps.
    void emptyFieldsAreRefusedBeforeAnyPage() {
        QVERIFY(writeEngineSettings(m_dir->path(), m_engine->address()));
        const struct {
            const char* site;
            const char* keyword;
            const char* said;
        } cases[] = {
            {"", "seo", "请填写网址。"},
            {"   ", "seo", "请填写网址。"},
            {"a.cn", "", "请填写关键词。"},
            {"a.cn", " \t", "请填写关键词。"},
        };
        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* site = form.findChild<QLineEdit*>("QueryWeb");
        auto* key = form.findChild<QLineEdit*>("QueryKey");
        QCOMPARE(site->maxLength(), 200);
        QCOMPARE(key->maxLength(), 30);
        for (const auto& c : cases) {
            site->setText(QString::fromUtf8(c.site));
            key->setText(QString::fromUtf8(c.keyword));
            QTest::mouseClick(form.findChild<QPushButton*>("QuerySortButton"), Qt::LeftButton);
            const QList<MessageBox::Shown> shown = MessageBox::takeShown();
            QCOMPARE(shown.size(), 1);
            QVERIFY(shown[0].kind == MessageBox::Kind::Warning);
            QCOMPARE(shown[0].text, QString::fromUtf8(c.said));
            QVERIFY(!rankTab(form).rankRunActive());
        }
        QCOMPARE(m_engine->pagesServed(), 0);
        QCOMPARE(storedRanks(m_dir->path()), QStringList());
    }

    void reportsARunInQueryOrder() {
        QVERIFY(writeEngineSettings(m_dir->path(), m_engine->address()));
        m_engine->place("k1", {"www.a-one.cn", 1, 4, false});
        m_engine->place("k2", {"www.b-two.cn", 0, -1, true});
        m_engine->place("k3", {"www.c-three.cn", 2, 1, false});

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // What the user types meanwhile stays, though every stored rank refreshes the history.
        form.findChild<QLineEdit*>("QueryWeb")->setText(QStringLiteral("next.example"));
        form.findChild<QLineEdit*>("QueryKey")->setText(QStringLiteral("下一个"));
        rankTab(form).RunRankQueries(
            {{"www.a-one.cn", "k1", 2}, {"www.b-two.cn", "k2", 1}, {"www.c-three.cn", "k3", 0}});
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 180000);
        QCOMPARE(form.findChild<QLineEdit*>("QueryWeb")->text(), QStringLiteral("next.example"));
        QCOMPARE(form.findChild<QLineEdit*>("QueryKey")->text(), QStringLiteral("下一个"));

        QCOMPARE(served(m_engine->served()), QStringLiteral("2:1:k1 1:1:k2 0:1:k3 0:2:k3"));
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, reportLine("www.a-one.cn", kHaosou, "k1", 5) +
                                    reportLine("www.c-three.cn", kBaidu, "k3", 12));
        QCOMPARE(storedRanks(m_dir->path()),
                 (QStringList{stored("www.a-one.cn", "k1", kHaosou, 5),
                              stored("www.b-two.cn", "k2", kSogou, 0),
                              stored("www.c-three.cn", "k3", kBaidu, 12)}));
    }

    // Closing the window while page 3 loads ends the query after that page and the run with it.
    void closingStopsTheRun() {
        QVERIFY(writeEngineSettings(m_dir->path(), m_engine->address()));
        m_engine->place("k2", {"www.found.cn", 1, 0, false});

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        m_engine->setOnPage([&form](const FakeEngine::Request& r) {
            if (r.page == 3)
                QMetaObject::invokeMethod(
                    &form, [&form] { form.close(); }, Qt::QueuedConnection);
        });
        rankTab(form).RunRankQueries({{"www.nowhere.cn", "k1", 0}, {"www.found.cn", "k2", 0}});
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 180000);

        QVERIFY(!form.isVisible());
        QVERIFY(!rankTab(form).rankRunActive());
        QCOMPARE(served(m_engine->served()), servedPages(kBaidu, "k1", 1, 3));
        QCOMPARE(statusText(form), searching(3));
        QVERIFY(!rankTab(form).stopRequested());
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QCOMPARE(storedRanks(m_dir->path()), QStringList());
    }

    // Today's markup, and an engine the user added in "Setting.ini": its name in both engine
    // choices, and a run whose failed query is said, in a warning, and stored nowhere.
    void todaysPagesAndAnAddedEngine() {
        using Plan = FakeEngine::TodayPlan;
        using Trouble = FakeEngine::Trouble;
        m_engine->setMarkup(FakeEngine::Markup::Today);
        QVERIFY(writeEngineSettings(
            m_dir->path(), m_engine->address(), true, false,
            "Added=find\r\nFindName=\xD5\xD2\xD5\xD2\r\nFindAddress=" + m_engine->address() +
                "\r\nFindPage=/search?q={keyword}&first={first}\r\n"
                "FindBlocks=#b_results > li\r\nFindSkip=.b_ad\r\n"
                "FindUrlFrom=h2 > a\r\nFindUrlAttribute=href\r\n"));
        m_engine->plan("k1", Plan{.placed = {{{2, 1}, "https://www.target.cn/seo?a=1&b=2"}}});
        m_engine->plan("k2", Plan{.trouble = {{1, Trouble::Captcha302}}});
        m_engine->plan("k3", Plan{.trouble = {{2, Trouble::ServerError}}});

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* engines = form.findChild<QComboBox*>("SearcherCombox");
        // The added engine follows the built-in ones; "全部" comes last.
        QCOMPARE(engines->count(), 5);
        QCOMPARE(engines->itemText(3), QStringLiteral("找找"));
        QCOMPARE(engines->itemText(4), QStringLiteral("全部"));
        QCOMPARE(engines->currentIndex(), kBaidu);
        BatchLists handOver;
        TBatchQueryForm batch(DatabaseAddress::file(rankTab(form).dataQuery().path()), handOver,
                              nullptr);
        auto* codes = batch.findChild<QComboBox*>("SearcherCombox");
        QCOMPARE(codes->count(), 5);
        QCOMPARE(codes->itemText(0), QStringLiteral("全部"));
        QCOMPARE(codes->itemText(4), QStringLiteral("找找"));

        rankTab(form).StoreRank("www.target.cn", "k2", kSogou, 9);
        rankTab(form).RunRankQueries({{"www.target.cn", "k1", 0}, {"target.cn", "k3", 3}});
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 180000);

        QCOMPARE(served(m_engine->served()), QStringLiteral("0:1:k1 0:2:k1 3:1:k3 3:2:k3"));
        QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].kind == MessageBox::Kind::Warning);
        const QStringList lines = shown[0].text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0] + "\r\n", reportLine("www.target.cn", kBaidu, "k1", 12));
        QVERIFY2(
            lines[1].startsWith(QStringLiteral(
                "\"target.cn\" 在 找找 关键词 \"k3\" 查询失败，没有结果: 第 2 页: HTTP 状态 500")),
            qPrintable(lines[1]));
        QCOMPARE(statusText(form),
                 QStringLiteral("完成：2 个查询，1 个有排名，0 个未找到，0 个遇到验证，1 个失败"));

        // A verification page waits for the person in the window; one who stops instead
        // leaves the day's earlier rank as it was, and no report.
        rankTab(form).RunRankQueries({{"www.target.cn", "k2", 1}});
        QTRY_COMPARE_WITH_TIMEOUT(statusText(form),
                                  QStringLiteral("请在下方完成验证，完成后查询自动继续"), 60000);
        click(&form, "StopQueryButton");
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 60000);
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QCOMPARE(storedRanks(m_dir->path()),
                 (QStringList{stored("www.target.cn", "k2", kSogou, 9),
                              stored("www.target.cn", "k1", kBaidu, 12)}));
        // The history shows the engine by the table's name, the destination as the site's tip.
        auto* grid = form.findChild<QTableView*>("SortDBGrid");
        QCOMPARE(grid->model()->index(0, 3).data().toString(), kEngineNames[kBaidu]);
        QCOMPARE(grid->model()->index(0, 1).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("https://www.target.cn/seo?a=1&b=2"));
    }

    // A keyword too long to store: the database's words at once, no page, nothing stored.
    void tooLongKeywordLoadsNoPage() {
        QVERIFY(writeEngineSettings(m_dir->path(), m_engine->address()));
        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        rankTab(form).RunRankQueries({{"www.target.cn", gbk(QString(31, QChar(0x4E2D))), 0}});
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 60000);

        QCOMPARE(m_engine->pagesServed(), 0);
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].kind == MessageBox::Kind::Error);
        QCOMPARE(shown[0].text, QStringLiteral("关键词最多 30 个字符."));
        QCOMPARE(storedRanks(m_dir->path()), QStringList());
        QVERIFY(form.findChild<QPushButton*>("QuerySortButton")->isEnabled());
    }

    // "temp.txt" that cannot be written: the rank as ever, and one warning that says so.
    void unwritableTempFileIsSaidOnce() {
        QVERIFY(writeEngineSettings(m_dir->path(), m_engine->address()));
        QVERIFY(QDir(m_dir->path()).mkdir("temp.txt"));
        m_engine->place("seo", {"www.target.cn", 3, 1, false});
        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        rankTab(form).RunRankQueries({{"www.target.cn", "seo", 0}});
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 60000);

        QCOMPARE(m_engine->pagesServed(), 3);
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].kind == MessageBox::Kind::Warning);
        QCOMPARE(shown[0].text, reportLine("www.target.cn", kBaidu, "seo", 22) +
                                    QStringLiteral("Cannot write file %1/temp.txt: Is a "
                                                   "directory; the ranks are not affected.")
                                        .arg(m_dir->path()));
        QCOMPARE(storedRanks(m_dir->path()),
                 QStringList{stored("www.target.cn", "seo", kBaidu, 22)});
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeEngine> m_engine;
};

std::unique_ptr<QObject> makeRankQueryTest() {
    return std::make_unique<RankQueryTest>();
}

#include "rankquery_test.moc"
