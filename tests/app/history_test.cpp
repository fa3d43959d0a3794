#include "../xlsxsheet.h"
#include "app/historymodel.h"
#include "app/mainform.h"
#include "app/messagebox.h"
#include "historysupport.h"
#include "pgserver.h"
#include "store/rankdb.h"
#include "testsupport.h"
#include "text/codepage.h"
#include "windowparts.h"

#include <QAction>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

const QDate kDay(2024, 3, 9);

struct Stored {
    Text site;
    Text keyword;
    int engine;
    int rank;
};

// Oldest first; the grid shows them the other way round.
const Stored kStores[] = {
    {"a.com", "seo", 0, 3},
    {"b.com", kGbkChinese, 1, 0},
    {"o'brien.com", "50%", 7, 12},
    {"d.com", "k\"4\"", 2, 15},
};

// kStores, stored on kDay.
void storeKnownRows(TMainForm& form) {
    rankTab(form).dataQuery().setToday([] { return kDay; });
    for (const Stored& s : kStores)
        rankTab(form).StoreRank(s.site, s.keyword, s.engine, s.rank);
}

QTableView* gridOf(TMainForm& form) {
    return historyGrid(form);
}

QStringList gridRows(TMainForm& form) {
    return gridRows(gridOf(form));
}

QStringList gridTitles(TMainForm& form) {
    QTableView* grid = gridOf(form);
    QStringList titles;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        if (!grid->isColumnHidden(c))
            titles << grid->model()->headerData(c, Qt::Horizontal).toString();
    return titles;
}

// The query fields: site, keyword and the selected engine's name.
QString queryFields(TMainForm& form) {
    return form.findChild<QLineEdit*>("QueryWeb")->text() + "|" +
           form.findChild<QLineEdit*>("QueryKey")->text() + "|" +
           form.findChild<QComboBox*>("SearcherCombox")->currentText();
}

void clickRow(TMainForm& form, int row) {
    QTableView* grid = gridOf(form);
    const QModelIndex cell = grid->model()->index(row, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
}

// A row stored on kDay with no earlier day: its change is "新", or "—" when not found.
QString row(const QString& site, const QString& keyword, const QString& engine, int rank) {
    return QStringList{site,
                       keyword,
                       engine,
                       rank > 0 ? QString::number(rank) : QStringLiteral("未找到"),
                       rank > 0 ? QStringLiteral("新") : QStringLiteral("—"),
                       kDay.toString(Qt::ISODate)}
        .join('|');
}

} // namespace

class HistoryTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        MessageBox::setTestMode(true);
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // An empty site list, so start-up reports nothing.
        QVERIFY(writeFileBytes(m_dir->filePath("Url.txt"), {}));
    }
    void cleanup() {
        QCOMPARE(MessageBox::takeShown().size(), 0);
        MessageBox::setTestMode(true);
    }

    void showsNewestFirstOnTheRankTab() {
        TMainForm form(m_dir->path());
        storeKnownRows(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);

        QCOMPARE(gridTitles(form),
                 (QStringList{"网址", "关键词", "搜索引擎", "排名", "变化", "查询日期"}));
        const QStringList shown{row("d.com", "k\"4\"", "好搜", 15),
                                row("o'brien.com", "50%", "", 12), row("b.com", "中文", "搜狗", 0),
                                row("a.com", "seo", "百度", 3)};
        QCOMPARE(gridRows(form), shown);
        // The newest row is current and fills the query fields.
        QCOMPARE(gridOf(form)->currentIndex().row(), 0);
        QCOMPARE(queryFields(form), QStringLiteral("d.com|k\"4\"|好搜"));

        // A store alone leaves the grid as it is; the next refresh shows it on top.
        rankTab(form).StoreRank("a.com", "seo", 0, 1);
        QCOMPARE(gridRows(form), shown);
        historyPanel(form).RefreshHistory();
        QCOMPARE(gridRows(form),
                 (QStringList{row("a.com", "seo", "百度", 1), shown[0], shown[1], shown[2]}));
        QCOMPARE(queryFields(form), QStringLiteral("a.com|seo|百度"));
    }

    // Each row against the latest earlier day of the same site, keyword and engine: better in
    // green, worse in red, the same, first, not found now.
    void changeAgainstTheDayBefore() {
        TMainForm form(m_dir->path());
        QDate day = kDay;
        rankTab(form).dataQuery().setToday([&day] { return day; });
        const struct {
            int days; // after kDay
            const char* site;
            int engine;
            int rank;
        } stores[] = {
            {0, "a.com", 0, 9}, {0, "b.com", 0, 4}, {0, "c.com", 0, 0}, {0, "d.com", 0, 6},
            {1, "a.com", 0, 6}, {1, "a.com", 1, 2}, {1, "b.com", 0, 7}, {2, "c.com", 0, 5},
            {2, "d.com", 0, 0}, {3, "a.com", 0, 6}, {3, "b.com", 0, 7},
        };
        for (const auto& s : stores) {
            day = kDay.addDays(s.days);
            rankTab(form).StoreRank(s.site, "seo", s.engine, s.rank);
        }
        historyPanel(form).RefreshHistory();
        QStringList changes;
        QStringList colours;
        const QAbstractItemModel* model = gridOf(form)->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            const QModelIndex cell = model->index(r, 5);
            changes << model->index(r, 1).data().toString() + ":" + cell.data().toString();
            const QVariant colour = cell.data(Qt::ForegroundRole);
            colours << (colour.isValid() ? colour.value<QColor>().name() : QStringLiteral("-"));
        }
        QCOMPARE(changes,
                 (QStringList{"b.com:=", "a.com:=", "d.com:—", "c.com:新", "b.com:↓3", "a.com:新",
                              "a.com:↑3", "d.com:新", "c.com:—", "b.com:新", "a.com:新"}));
        QCOMPARE(colours.mid(4, 3), (QStringList{"#ff0000", "-", "#008000"}));
        QCOMPARE(colours[0], QStringLiteral("-"));
    }

    // The filter line narrows the grid to sites, keywords and engines that hold its text, as
    // it is typed; a click on a title sorts by that column. Selecting and deleting act on the
    // row the user sees.
    void filterAndSort() {
        TMainForm form(m_dir->path());
        storeKnownRows(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        auto* filter = form.findChild<QLineEdit*>("HistoryFilter");
        QVERIFY(filter && filter->isVisible());
        auto sites = [&form] {
            QStringList out;
            for (const QString& row : gridRows(form))
                out << row.section('|', 0, 0);
            return out;
        };
        const struct {
            const char* typed;
            QStringList sites;
        } filters[] = {
            {"", {"d.com", "o'brien.com", "b.com", "a.com"}},
            {"B", {"o'brien.com", "b.com"}}, // sites, in any case
            {"50%", {"o'brien.com"}},        // keywords
            {"搜狗", {"b.com"}},             // engines by name
            {" a.com ", {"a.com"}},          // blanks around do not count
            {"12", {}},                      // ranks are not searched
        };
        for (const auto& f : filters) {
            // As the text changes, with no key to confirm it (Chinese comes from the input
            // method, not from keys).
            filter->setText(QString::fromUtf8(f.typed));
            QCOMPARE(sites(), f.sites);
        }
        filter->clear();
        QTest::keyClicks(filter, "o'b");
        QCOMPARE(sites(), QStringList{"o'brien.com"});
        // The clear button, made with the first text, empties the line and shows every row.
        QVERIFY(filter->isClearButtonEnabled());
        auto* clear = filter->findChild<QToolButton*>();
        QVERIFY(clear && clear->isVisible());
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(filter->text(), QString());
        QCOMPARE(sites().size(), 4);

        // Sorted by 排名, then the other way; the query fields follow the row clicked.
        QHeaderView* header = gridOf(form)->horizontalHeader();
        const auto clickTitle = [&](int column) {
            QTest::mouseClick(
                header->viewport(), Qt::LeftButton, {},
                QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                       header->height() / 2));
        };
        // "未找到" sorts after every rank.
        clickTitle(HistoryModel::SortNum);
        QCOMPARE(sites(), (QStringList{"a.com", "o'brien.com", "d.com", "b.com"}));
        clickTitle(HistoryModel::SortNum);
        QCOMPARE(sites(), (QStringList{"b.com", "d.com", "o'brien.com", "a.com"}));
        clickRow(form, 3);
        QCOMPARE(queryFields(form), QStringLiteral("a.com|seo|百度"));

        // Deleting the row shown last takes a.com, whatever its place in the history.
        QTest::keyClick(gridOf(form), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(sites(), (QStringList{"b.com", "d.com", "o'brien.com"}));
        QCOMPARE(rankTab(form).dataQuery().historyRows(10).size(), 3u);
        for (const RankDatabase::HistoryRow& row : rankTab(form).dataQuery().historyRows(10))
            QVERIFY(row.site != "a.com");
    }

    // The rows shown, filtered and sorted as shown, go to a CSV file that spreadsheet programs
    // open in Chinese; a file that cannot be written is said.
    void exportShownRowsToCsv() {
        TMainForm form(m_dir->path());
        storeKnownRows(form);
        rankTab(form).StoreRank("e.com", "k,5", 0, 2, QStringLiteral("https://e.com/a?b=1,2"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        form.findChild<QLineEdit*>("HistoryFilter")->setText(QStringLiteral("k"));
        gridOf(form)->sortByColumn(HistoryModel::SortNum, Qt::AscendingOrder);

        const QString path = m_dir->filePath("out/history.csv");
        QVERIFY(QDir().mkpath(m_dir->filePath("out")));
        MessageBox::setNextFileName(path);
        form.findChild<QAction*>("ExportCsvMenu")->trigger();
        const QString day = kDay.toString(Qt::ISODate);
        QCOMPARE(readFileBytes(path),
                 (QStringLiteral("\xFEFF网址,关键词,搜索引擎,排名,查询日期,结果网址\r\n"
                                 "e.com,\"k,5\",百度,2,%1,\"https://e.com/a?b=1,2\"\r\n"
                                 "d.com,\"k\"\"4\"\"\",好搜,15,%1,\r\n")
                      .arg(day)
                      .toUtf8()));

        // Cancelled: nothing written. Refused: said.
        MessageBox::setNextFileName({});
        form.findChild<QAction*>("ExportCsvMenu")->trigger();
        QCOMPARE(QDir(m_dir->filePath("out")).entryList(QDir::Files), QStringList{"history.csv"});
        MessageBox::setNextFileName(m_dir->filePath("out"));
        form.findChild<QAction*>("ExportCsvMenu")->trigger();
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text,
                 QStringLiteral("Cannot create file %1.").arg(m_dir->filePath("out")));
    }

    // The same rows to a spreadsheet file: read back from its sheet, they are the rows shown.
    void exportShownRowsToXlsx() {
        TMainForm form(m_dir->path());
        storeKnownRows(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        form.findChild<QLineEdit*>("HistoryFilter")->setText(QStringLiteral(".com"));
        const QString path = m_dir->filePath("history.xlsx");
        MessageBox::setNextFileName(path);
        form.findChild<QAction*>("ExportXlsxMenu")->trigger();
        const QString day = kDay.toString(Qt::ISODate);
        QCOMPARE(xlsxSheetRows(path),
                 (QList<QStringList>{{"网址", "关键词", "搜索引擎", "排名", "查询日期", "结果网址"},
                                     {"d.com", "k\"4\"", "好搜", "15", day},
                                     {"o'brien.com", "50%", "", "12", day},
                                     {"b.com", "中文", "搜狗", "未找到", day},
                                     {"a.com", "seo", "百度", "3", day}}));
        QVERIFY(!QFile::exists(path + ".part"));
    }

    void selectingARowFillsTheQueryFields() {
        TMainForm form(m_dir->path());
        storeKnownRows(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        historyPanel(form).RefreshHistory();

        clickRow(form, 2);
        QCOMPARE(gridOf(form)->currentIndex().row(), 2);
        QCOMPARE(queryFields(form), QStringLiteral("b.com|中文|搜狗"));
        clickRow(form, 3);
        QCOMPARE(queryFields(form), QStringLiteral("a.com|seo|百度"));
        // An engine outside the list selects none of its items.
        clickRow(form, 1);
        QCOMPARE(queryFields(form), QStringLiteral("o'brien.com|50%|"));
        clickRow(form, 0);
        QCOMPARE(queryFields(form), QStringLiteral("d.com|k\"4\"|好搜"));
    }

    void ctrlDeleteAsksFirst_data() {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QStringList>("left"); // sites, newest first
        QTest::newRow("Cancel keeps the row")
            << false << QStringList{"d.com", "o'brien.com", "b.com", "a.com"};
        QTest::newRow("OK deletes the selected row")
            << true << QStringList{"d.com", "b.com", "a.com"};
    }

    void ctrlDeleteAsksFirst() {
        QFETCH(bool, confirm);
        QFETCH(QStringList, left);
        {
            TMainForm form(m_dir->path());
            storeKnownRows(form);
            form.show();
            QVERIFY(QTest::qWaitForWindowActive(&form));
            showRankTab(form);
            clickRow(form, 1);
            QTableView* grid = gridOf(form);
            QTRY_VERIFY(grid->hasFocus());

            MessageBox::setTestMode(true,
                                    confirm ? MessageBox::Answer::Ok : MessageBox::Answer::Cancel);
            QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
            const QList<MessageBox::Shown> asked = MessageBox::takeShown();
            QCOMPARE(asked.size(), 1);
            QVERIFY(asked[0].kind == MessageBox::Kind::Question);
            QCOMPARE(asked[0].text, QStringLiteral("Delete record?"));

            QStringList sites;
            for (const QString& row : gridRows(form))
                sites << row.section('|', 0, 0);
            QCOMPARE(sites, left);
        }
        // The file agrees with the grid.
        RankDatabase db(DatabaseAddress::file(m_dir->filePath("Sort.mdb")));
        HistoryModel history;
        history.RefreshHistory(db);
        QCOMPARE(history.rowCount(), left.size());
    }

    void emptyHistoryKeepsTypedFields() {
        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        QCOMPARE(gridRows(form), QStringList());

        QTest::keyClicks(form.findChild<QLineEdit*>("QueryWeb"), "typed.com");
        QTest::keyClicks(form.findChild<QLineEdit*>("QueryKey"), "kw");
        form.findChild<QComboBox*>("SearcherCombox")->setCurrentIndex(2);
        // Leaving the tab and coming back reopens the history, still empty.
        auto* pages = form.findChild<QTabWidget*>("SEOPageControl");
        QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                          pages->tabBar()->tabRect(0).center());
        showRankTab(form);
        QCOMPARE(gridRows(form), QStringList());
        QCOMPARE(queryFields(form), QStringLiteral("typed.com|kw|好搜"));
    }

    void foreignDatabaseIsReportedOnce() {
        QByteArray access(4096, '\0');
        access.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
        const QString path = m_dir->filePath("Sort.mdb");
        QVERIFY(writeFileBytes(path, access));

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(MessageBox::takeShown().size(), 0); // start-up leaves the file alone
        showRankTab(form);

        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].kind == MessageBox::Kind::Error);
        QVERIFY2(shown[0].text.contains("not an SQLite database"), qPrintable(shown[0].text));
        QVERIFY(shown[0].text.endsWith('.') && !shown[0].text.endsWith(".."));
        QCOMPARE(gridRows(form), QStringList());
        QCOMPARE(readFileBytes(path), access);
        QCOMPARE(QDir(m_dir->path()).entryList({"Sort.mdb*"}, QDir::Files | QDir::Hidden),
                 QStringList{"Sort.mdb"});
    }

    // The window on a shared database: what another machine's worker stores shows at the
    // next refresh, and the program folder gets no "Sort.mdb".
    void sharedDatabaseShowsAnotherMachinesRanks() {
        PgServer server;
        if (!server.running())
            QSKIP(qPrintable(server.skipReason()));
        const QString url = server.createDatabase(QStringLiteral("window"));
        QVERIFY(writeFileBytes(m_dir->filePath("Setting.ini"),
                               "[Database]\r\nUrl=" + url.toUtf8() +
                                   "\r\nPassword=" + PgServer::password().toUtf8() + "\r\n"));
        RankDatabase other(DatabaseAddress::server(url, PgServer::password()));
        other.setToday([] { return kDay; });
        other.StoreRank("a.com", "seo", 0, 3);
        other.insertBatch("a.com", "seo", 1);

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        QCOMPARE(gridRows(form), QStringList{row("a.com", "seo", "百度", 3)});
        QCOMPARE(rankTab(form).dataQuery().batchRows().size(), size_t(1));

        other.StoreRank("b.com", qStringToGbk(QStringLiteral("中文")), 1, 7);
        historyPanel(form).RefreshHistory();
        QCOMPARE(gridRows(form),
                 (QStringList{row("b.com", "中文", "搜狗", 7), row("a.com", "seo", "百度", 3)}));
        QVERIFY(!QFile::exists(m_dir->filePath("Sort.mdb")));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

std::unique_ptr<QObject> makeHistoryTest() {
    return std::make_unique<HistoryTest>();
}

#include "history_test.moc"
