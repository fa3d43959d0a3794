#include "app/batchqueryform.h"
#include "app/mainform.h"
#include "app/messagebox.h"
#include "fakeengine.h"
#include "store/rankdb.h"
#include "testsupport.h"
#include "text/codepage.h"
#include "windowparts.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

QTableView* gridOf(QWidget* dialog) {
    return findControl<QTableView>(dialog, "BatchQueryGrid");
}

QStringList gridTitles(QTableView* grid) {
    QStringList titles;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        if (!grid->isColumnHidden(c))
            titles << grid->model()->headerData(c, Qt::Horizontal).toString();
    return titles;
}

void clickRow(QTableView* grid, int row) {
    const QModelIndex cell = grid->model()->index(row, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
}

// Printable ASCII is typed key by key; anything else arrives as a paste would leave it.
void type(QWidget* dialog, const char* edit, const QString& text) {
    auto* box = findControl<QLineEdit>(dialog, edit);
    box->clear();
    bool plain = true;
    for (QChar c : text)
        plain = plain && c.unicode() > 0x20 && c.unicode() < 0x7F;
    if (plain)
        QTest::keyClicks(box, text);
    else
        box->setText(text);
}

QString editText(QWidget* dialog, const char* edit) {
    return findControl<QLineEdit>(dialog, edit)->text();
}

// Each message box as "<kind>:<text>", kind E(rror), I(nformation) or Q(uestion).
QStringList shownMessages() {
    QStringList out;
    for (const MessageBox::Shown& shown : MessageBox::takeShown()) {
        const char* kind = shown.kind == MessageBox::Kind::Error         ? "E:"
                           : shown.kind == MessageBox::Kind::Information ? "I:"
                                                                         : "Q:";
        out << QLatin1String(kind) + shown.text;
    }
    return out;
}

QByteArray bytes(const Text& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The program folder: an empty site list, so start-up reports nothing, and "Sort.mdb".
struct ProgramDir {
    ProgramDir() { writeFileBytes(dir.filePath("Url.txt"), {}); }

    QString path() const { return dir.path(); }
    DatabaseAddress connection() const { return DatabaseAddress::file(dir.filePath("Sort.mdb")); }

    // Rows as "site|keyword|engine code", added in that order.
    void seed(const QStringList& rows) const {
        RankDatabase db(connection());
        for (const QString& row : rows)
            db.insertBatch(qStringToGbk(row.section('|', 0, 0)),
                           qStringToGbk(row.section('|', 1, 1)), row.section('|', 2, 2).toInt());
    }

    // Straight from the file, in the order the database returns them.
    QStringList stored() const {
        return select("select Web, SearchKey, SearcherType from BatchQuery");
    }
    QStringList storedRanks() const {
        return select("select Web, SearchKey, SearcherType, SortNum from QuerySort order by id");
    }

    QStringList select(const char* sql) const {
        const QString name = QStringLiteral("batchquery-check");
        QStringList rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(dir.filePath("Sort.mdb"));
            if (db.open()) {
                QSqlQuery query(db);
                query.exec(QLatin1String(sql));
                while (query.next()) {
                    QStringList cells;
                    for (int c = 0; c < query.record().count(); ++c)
                        cells << query.value(c).toString();
                    rows << cells.join('|');
                }
            }
        }
        QSqlDatabase::removeDatabase(name);
        return rows;
    }

    QTemporaryDir dir;
};

// The engine names the grid shows for the codes 0-3.
const QString kCodeNames[] = {QStringLiteral("全部"), QStringLiteral("百度"),
                              QStringLiteral("搜狗"), QStringLiteral("好搜")};

// "site|keyword|code" as the grid shows it.
QString asShown(const QString& row) {
    const int code = row.section('|', 2, 2).toInt();
    return row.section('|', 0, 1) + '|' + (code >= 0 && code < 4 ? kCodeNames[code] : QString());
}

QStringList asShown(const QStringList& rows) {
    QStringList out;
    for (const QString& row : rows)
        out << asShown(row);
    return out;
}

void showRankTab(TMainForm& form) {
    auto* pages = form.findChild<QTabWidget*>("SEOPageControl");
    const int tab = pages->indexOf(form.findChild<QWidget*>("QuerySortTabSheet"));
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(tab).center());
}

// Right-click on the grid, then "删除" in the menu that pops up.
void deleteThroughPopup(QWidget* dialog) {
    QTableView* grid = gridOf(dialog);
    const QModelIndex current = grid->currentIndex();
    const QPoint at = current.isValid() ? grid->visualRect(current).center() : QPoint(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(grid->viewport(), &event);
    auto* menu = findControl<QMenu>(dialog, "SortGridPopupMenu");
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 1);
    QAction* action = menu->actions().first();
    QCOMPARE(action->objectName(), QStringLiteral("DeleteMenu"));
    QCOMPARE(action->text(), QStringLiteral("删除"));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    QTRY_VERIFY(!menu->isVisible());
}

const QStringList kThree{"www.a.com|seo|1", "www.b.com|优化|0", "www.c.com|rank|3"};

} // namespace

// The batch list dialog alone, and through the main window's "批量查询".
class BatchQueryTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        MessageBox::setTestMode(true);
        m_dir = std::make_unique<ProgramDir>();
        QVERIFY(m_dir->dir.isValid());
    }

    void cleanup() {
        QCOMPARE(shownMessages(), QStringList());
        MessageBox::setTestMode(true);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        // The browser profile writes its last files after the window has gone.
        QTRY_VERIFY_WITH_TIMEOUT(QDir(m_dir->path()).removeRecursively(), 10000);
        m_dir.reset();
    }

    void opensFromTheMainWindowWithTheStoredList() {
        const QStringList rows{"www.a.com|seo|0", "www.b.com|优化|1", "o'b.com|k2|2",
                               "www.d.com|k3|3", "www.e.com|k4|7"};
        m_dir->seed(rows);
        TMainForm form(m_dir->path());
        // Where the centred dialog fits on the small offscreen screen, which would push it in.
        form.move(40, 40);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);

        QStringList seen;
        QString name;
        QString caption;
        QString engine;
        bool ownedModal = false;
        QPoint offCentre;
        ModalDriver driver([&](QDialog* dialog) {
            name = dialog->objectName();
            caption = dialog->windowTitle();
            ownedModal = dialog->parentWidget() == &form && dialog->isModal();
            offCentre = dialog->geometry().center() - form.geometry().center();
            engine = findControl<QComboBox>(dialog, "SearcherCombox")->currentText();
            seen = gridRows(gridOf(dialog));
            click(dialog, "QuitButton");
        });
        click(&form, "BatchQuery");
        QVERIFY(driver.ran());
        QVERIFY(!driver.leftOpen());

        QCOMPARE(name, QStringLiteral("BatchQueryForm"));
        QCOMPARE(caption, QStringLiteral("排名批量查询"));
        QVERIFY(ownedModal);
        QVERIFY2(offCentre.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        QCOMPARE(engine, QStringLiteral("全部"));
        QCOMPARE(seen, (QStringList{"www.a.com|seo|全部", "www.b.com|优化|百度", "o'b.com|k2|搜狗",
                                    "www.d.com|k3|好搜", "www.e.com|k4|"}));
        // Each opening makes a new dialog; the closed one is gone.
        drainEvents();
        QVERIFY(form.findChildren<TBatchQueryForm*>().isEmpty());
        QCOMPARE(m_dir->stored().size(), rows.size());
    }

    void controlsInPlace() {
        BatchLists lists;
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        const struct {
            const char* name;
            const char* text;
            QRect place;
        } controls[] = {
            {"Label2", "网址：http://", {20, 20, 90, 21}},
            {"QueryWeb", "", {118, 20, 238, 21}},
            {"Label6", "关键词：", {379, 20, 60, 21}},
            {"QueryKey", "", {439, 20, 169, 21}},
            {"Label5", "搜索引擎：", {39, 59, 71, 21}},
            {"SearcherCombox", "全部", {118, 59, 238, 24}},
            {"AddBatchListButton", "加入批量查询列表", {442, 59, 168, 41}},
            {"Label1", "批量查询列表：", {30, 128, 109, 21}},
            {"BatchQueryGrid", "", {30, 158, 572, 257}},
            {"StartQueryButton", "开始查询", {345, 433, 89, 41}},
            {"QuitButton", "退出", {473, 433, 89, 41}},
        };
        // The layouts place the controls when the dialog shows.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), QSize(629, 492));
        // The designed size is the smallest; the dialog can grow.
        QCOMPARE(dialog.minimumSize(), QSize(629, 492));
        QVERIFY(dialog.maximumSize().width() > 629);
        QStringList focusOrder;
        for (const auto& c : controls) {
            auto* control = findControl<QWidget>(&dialog, c.name);
            const QRect at = control->geometry();
            QCOMPARE(at.topLeft(), c.place.topLeft());
            QCOMPARE(at.width(), c.place.width());
            // An edit box may stand a few pixels taller, so its text is not clipped.
            QVERIFY2(at.height() >= c.place.height() && at.height() <= c.place.height() + 4,
                     c.name);
            QString text;
            if (auto* label = qobject_cast<QLabel*>(control))
                text = label->text();
            else if (auto* button = qobject_cast<QPushButton*>(control))
                text = button->text();
            else if (auto* box = qobject_cast<QComboBox*>(control))
                text = box->currentText();
            else if (auto* edit = qobject_cast<QLineEdit*>(control))
                text = edit->text();
            QCOMPARE(text, QString::fromUtf8(c.text));
            if (control->focusPolicy() & Qt::TabFocus)
                focusOrder << control->objectName();
        }
        auto* engines = findControl<QComboBox>(&dialog, "SearcherCombox");
        QStringList items;
        for (int i = 0; i < engines->count(); ++i)
            items << engines->itemText(i);
        QCOMPARE(items, (QStringList{"全部", "百度", "搜狗", "好搜"}));
        QCOMPARE(engines->isEditable(), false);

        // Tab visits the controls in this order.
        QStringList walked;
        QWidget* w = findControl<QWidget>(&dialog, "QueryWeb");
        for (int step = 0; step < 200 && walked.size() < focusOrder.size(); ++step) {
            if (focusOrder.contains(w->objectName()) && !walked.contains(w->objectName()))
                walked << w->objectName();
            w = w->nextInFocusChain();
        }
        QCOMPARE(walked,
                 (QStringList{"QueryWeb", "QueryKey", "SearcherCombox", "AddBatchListButton",
                              "BatchQueryGrid", "StartQueryButton", "QuitButton"}));
    }

    void addRefusesBlankFields_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("siteAfter");
        QTest::addColumn<QString>("keywordAfter");
        const QString noSite = QStringLiteral("查询网址不能为空");
        const QString noKey = QStringLiteral("查询的关键词不能为空");
        // The site is checked first; the keyword is not even trimmed then.
        QTest::newRow("spaces-only site") << "   "
                                          << " seo " << noSite << "QueryWeb"
                                          << ""
                                          << " seo ";
        QTest::newRow("empty site") << ""
                                    << "seo" << noSite << "QueryWeb"
                                    << ""
                                    << "seo";
        QTest::newRow("tab and spaces site") << "\t \t"
                                             << "seo" << noSite << "QueryWeb"
                                             << ""
                                             << "seo";
        QTest::newRow("both blank") << "  "
                                    << "  " << noSite << "QueryWeb"
                                    << ""
                                    << "  ";
        QTest::newRow("spaces-only keyword") << " www.a.com "
                                             << "    " << noKey << "QueryKey"
                                             << "www.a.com"
                                             << "";
        QTest::newRow("empty keyword") << "www.a.com"
                                       << "" << noKey << "QueryKey"
                                       << "www.a.com"
                                       << "";
        QTest::newRow("tab keyword") << "www.a.com"
                                     << "\t" << noKey << "QueryKey"
                                     << "www.a.com"
                                     << "";
    }

    void addRefusesBlankFields() {
        QFETCH(QString, site);
        QFETCH(QString, keyword);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(QString, siteAfter);
        QFETCH(QString, keywordAfter);
        m_dir->seed({"www.kept.com|seo|2"});
        BatchLists lists;
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        type(&dialog, "QueryWeb", site);
        type(&dialog, "QueryKey", keyword);
        // Neither edit box has the focus when the button is clicked.
        findControl<QComboBox>(&dialog, "SearcherCombox")->setFocus();
        click(&dialog, "AddBatchListButton");

        QCOMPARE(shownMessages(), QStringList{"I:" + message});
        QVERIFY(dialog.focusWidget());
        QCOMPARE(dialog.focusWidget()->objectName(), focus);
        QCOMPARE(editText(&dialog, "QueryWeb"), siteAfter);
        QCOMPARE(editText(&dialog, "QueryKey"), keywordAfter);
        QCOMPARE(gridRows(gridOf(&dialog)), QStringList{"www.kept.com|seo|搜狗"});
        QCOMPARE(m_dir->stored(), QStringList{"www.kept.com|seo|2"});
        QVERIFY(dialog.isVisible());
    }

    void addTrimsAndKeepsTheTexts() {
        const struct {
            const char* site; // null: as the previous addition left it
            const char* keyword;
            int engine;
            const char* row; // as the grid shows it
            const char* stored;
        } additions[] = {
            {"  www.a.com  ", " seo ", 1, "www.a.com|seo|百度", "www.a.com|seo|1"},
            {nullptr, nullptr, 0, "www.a.com|seo|全部", "www.a.com|seo|0"},
            {nullptr, nullptr, 3, "www.a.com|seo|好搜", "www.a.com|seo|3"},
            {"o'brien.com", "50%'s", 2, "o'brien.com|50%'s|搜狗", "o'brien.com|50%'s|2"},
            {"\twww.中文.com ", "中文 优化\t", 3, "www.中文.com|中文 优化|好搜",
             "www.中文.com|中文 优化|3"},
        };
        BatchLists lists;
        QStringList shown;
        QStringList stored;
        {
            TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(gridTitles(gridOf(&dialog)), (QStringList{"网址", "关键词", "搜索引擎"}));
            QCOMPARE(gridRows(gridOf(&dialog)), QStringList());
            for (const auto& a : additions) {
                if (a.site) {
                    type(&dialog, "QueryWeb", QString::fromUtf8(a.site));
                    type(&dialog, "QueryKey", QString::fromUtf8(a.keyword));
                }
                findControl<QComboBox>(&dialog, "SearcherCombox")->setCurrentIndex(a.engine);
                click(&dialog, "AddBatchListButton");
                shown << QString::fromUtf8(a.row);
                stored << QString::fromUtf8(a.stored);
                QCOMPARE(gridRows(gridOf(&dialog)), shown);
                QCOMPARE(editText(&dialog, "QueryWeb"),
                         QString::fromUtf8(a.row).section('|', 0, 0));
                QCOMPARE(editText(&dialog, "QueryKey"),
                         QString::fromUtf8(a.row).section('|', 1, 1));
            }
            QCOMPARE(m_dir->stored(), stored);
            // The three columns keep their proportions: 28, 28 and 10 characters.
            QHeaderView* header = gridOf(&dialog)->horizontalHeader();
            QCOMPARE(header->sectionSize(0), header->sectionSize(1));
            QVERIFY(header->sectionSize(2) * 28 / 10 >= header->sectionSize(0) - 28);
            QVERIFY(header->sectionSize(2) * 28 / 10 <= header->sectionSize(0) + 28);
        }
        // The list stands: the next opening shows it again.
        TBatchQueryForm again(m_dir->connection(), lists, nullptr);
        QCOMPARE(gridRows(gridOf(&again)), shown);
        QCOMPARE(bytes(lists.BatchWebs) + bytes(lists.BatchKeys) + bytes(lists.BatchEngines),
                 QByteArray());
    }

    void gridSelectsWholeRowsAndEditsNothing() {
        m_dir->seed(kThree);
        BatchLists lists;
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTableView* grid = gridOf(&dialog);
        clickRow(grid, 2);
        QCOMPARE(grid->currentIndex().row(), 2);
        QCOMPARE(grid->selectionModel()->selectedIndexes().size(), 3);
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
        const QModelIndex cell = grid->model()->index(2, 1);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
        QTest::keyClick(grid, Qt::Key_F2);
        QTest::keyClicks(grid, "x");
        // No cell editor opened.
        for (QWidget* child : grid->viewport()->findChildren<QWidget*>())
            QVERIFY(!child->isVisible());
        QVERIFY(!(grid->model()->flags(cell) & Qt::ItemIsEditable));
        QCOMPARE(gridRows(grid), asShown(kThree));
        QCOMPARE(m_dir->stored(), kThree);
    }

    void tooLongTextsAreRefused_data() {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("accepted");
        const QString site = QStringLiteral("www.b.com");
        QTest::newRow("keyword of 30") << site << QString(30, 'k') << true;
        QTest::newRow("keyword of 31") << site << QString(31, 'k') << false;
        QTest::newRow("keyword of 30 Chinese") << site << QString(30, QChar(0x4E2D)) << true;
        QTest::newRow("keyword of 31 Chinese") << site << QString(31, QChar(0x4E2D)) << false;
        QTest::newRow("site of 200") << QString(200, 's') << "seo" << true;
        QTest::newRow("site of 201") << QString(201, 's') << "seo" << false;
    }

    void tooLongTextsAreRefused() {
        QFETCH(QString, site);
        QFETCH(QString, keyword);
        QFETCH(bool, accepted);
        m_dir->seed({"www.a.com|seo|1", "www.c.com|k|0"});
        const QStringList before = asShown(m_dir->stored());
        BatchLists lists;
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        type(&dialog, "QueryWeb", site);
        type(&dialog, "QueryKey", keyword);
        findControl<QComboBox>(&dialog, "SearcherCombox")->setCurrentIndex(2);
        click(&dialog, "AddBatchListButton");

        const QStringList shown = shownMessages();
        const QString added = site + '|' + keyword + QStringLiteral("|搜狗");
        if (accepted) {
            QCOMPARE(shown, QStringList());
            QCOMPARE(gridRows(gridOf(&dialog)), before + QStringList{added});
            QCOMPARE(m_dir->stored().size(), 3);
        } else {
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].startsWith("E:") && shown[0].size() > 3, qPrintable(shown[0]));
            QVERIFY2(shown[0].endsWith('.') && !shown[0].endsWith(".."), qPrintable(shown[0]));
            QCOMPARE(gridRows(gridOf(&dialog)), before);
            QCOMPARE(asShown(m_dir->stored()), before);
            QVERIFY(dialog.isVisible());
        }
        QCOMPARE(editText(&dialog, "QueryWeb"), site);
        QCOMPARE(editText(&dialog, "QueryKey"), keyword);
    }

    void deletes_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("select");      // the row clicked first; -1 none
        QTest::addColumn<bool>("ctrlDelete"); // else "删除" from the popup menu
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("left");
        const QString question = QStringLiteral("Q:Delete record?");
        const QStringList same{"www.same.com|seo|2", "www.same.com|seo|2"};
        QTest::newRow("menu deletes the selected row without asking")
            << kThree << 1 << false << true << QStringList() << QStringList{kThree[0], kThree[2]};
        QTest::newRow("menu deletes the last row")
            << kThree << 2 << false << true << QStringList() << QStringList{kThree[0], kThree[1]};
        QTest::newRow("menu deletes the first row")
            << kThree << 0 << false << true << QStringList() << QStringList{kThree[1], kThree[2]};
        QTest::newRow("menu deletes one of two identical rows")
            << same << 1 << false << true << QStringList() << QStringList{same[0]};
        QTest::newRow("menu on an empty list is refused")
            << QStringList() << -1 << false << true
            << QStringList{"E:Cannot perform this operation on an empty dataset."} << QStringList();
        QTest::newRow("Ctrl+Delete, Cancel keeps the row")
            << kThree << 1 << true << false << QStringList{question} << kThree;
        QTest::newRow("Ctrl+Delete, OK deletes the selected row")
            << kThree << 1 << true << true << QStringList{question}
            << QStringList{kThree[0], kThree[2]};
        QTest::newRow("Ctrl+Delete deletes one of two identical rows")
            << same << 0 << true << true << QStringList{question} << QStringList{same[0]};
    }

    void deletes() {
        QFETCH(QStringList, rows);
        QFETCH(int, select);
        QFETCH(bool, ctrlDelete);
        QFETCH(bool, confirm);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, left);
        m_dir->seed(rows);
        BatchLists lists;
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTableView* grid = gridOf(&dialog);
        QCOMPARE(gridRows(grid), asShown(rows));
        if (select >= 0)
            clickRow(grid, select);
        else
            grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());

        MessageBox::setTestMode(true,
                                confirm ? MessageBox::Answer::Ok : MessageBox::Answer::Cancel);
        if (ctrlDelete)
            QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        else
            deleteThroughPopup(&dialog);
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(shownMessages(), messages);
        QCOMPARE(gridRows(grid), asShown(left));
        QCOMPARE(m_dir->stored(), left);
        QVERIFY(dialog.isVisible());
    }

    void startQueryHandsOverTheLists_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QByteArray>("webs");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QByteArray>("engines");
        QTest::newRow("one row for all engines")
            << QStringList{"site|kw|0"} << QByteArray("site\xFFsite\xFFsite")
            << QByteArray("kw\xFFkw\xFFkw")
            << QByteArray("0\xFF"
                          "1\xFF"
                          "2");
        QTest::newRow("Sogou, then all engines") << QStringList{"a.com|k1|2", "b.com|k2|0"}
                                                 << QByteArray("a.com\xFF"
                                                               "b.com\xFF"
                                                               "b.com\xFF"
                                                               "b.com")
                                                 << QByteArray("k1\xFFk2\xFFk2\xFFk2")
                                                 << QByteArray("1\xFF"
                                                               "0\xFF"
                                                               "1\xFF"
                                                               "2");
        QTest::newRow("one engine each, in list order")
            << QStringList{"c.com|k3|3", "a.com|k1|1", "b.com|中文|2"}
            << QByteArray("c.com\xFF"
                          "a.com\xFF"
                          "b.com")
            << QByteArray("k3\xFFk1\xFF") + kGbkChinese
            << QByteArray("2\xFF"
                          "0\xFF"
                          "1");
        QTest::newRow("one Haosou row") << QStringList{"d.com|k|3"} << QByteArray("d.com")
                                        << QByteArray("k") << QByteArray("2");
        QTest::newRow("empty list empties the lists")
            << QStringList() << QByteArray() << QByteArray() << QByteArray();
    }

    void startQueryHandsOverTheLists() {
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, webs);
        QFETCH(QByteArray, keys);
        QFETCH(QByteArray, engines);
        m_dir->seed(rows);
        // What an earlier batch left behind.
        BatchLists lists{"old\xFFold", "k\xFFk",
                         "0\xFF"
                         "1"};
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        ModalDriver driver([](QDialog* d) { click(d, "StartQueryButton"); });
        dialog.exec();
        QVERIFY(driver.ran());
        QVERIFY(!driver.leftOpen());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(bytes(lists.BatchWebs), webs);
        QCOMPARE(bytes(lists.BatchKeys), keys);
        QCOMPARE(bytes(lists.BatchEngines), engines);
        // The list stands for the next batch.
        QCOMPARE(m_dir->stored(), rows);
    }

    void quitLeavesTheLists_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("退出") << false;
        QTest::newRow("close box") << true;
    }

    void quitLeavesTheLists() {
        QFETCH(bool, closeBox);
        m_dir->seed(kThree);
        BatchLists lists{"old.com", "k", "1"};
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        ModalDriver driver([closeBox](QDialog* d) {
            if (closeBox)
                d->close();
            else
                click(d, "QuitButton");
        });
        dialog.exec();
        QVERIFY(driver.ran());
        QVERIFY(!driver.leftOpen());
        QCOMPARE(bytes(lists.BatchWebs), QByteArray("old.com"));
        QCOMPARE(bytes(lists.BatchKeys), QByteArray("k"));
        QCOMPARE(bytes(lists.BatchEngines), QByteArray("1"));
        QCOMPARE(m_dir->stored(), kThree);
    }

    // Nothing to run: no page is asked for and the history stays as it was.
    void emptyListRunsNothing() {
        FakeEngine engine;
        QVERIFY(writeEngineSettings(m_dir->path(), engine.address()));
        {
            RankDatabase db(m_dir->connection());
            db.StoreRank("www.old.com", "seo", 1, 4);
        }
        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        auto* history = form.findChild<QTableView*>("SortDBGrid");
        const QStringList historyBefore = gridRows(history);
        QCOMPARE(historyBefore.size(), 1);
        const QString statusBefore = statusText(form);

        QStringList listed{"<not opened>"};
        ModalDriver driver([&listed](QDialog* d) {
            listed = gridRows(gridOf(d));
            click(d, "StartQueryButton");
        });
        click(&form, "BatchQuery");
        drainEvents();
        QVERIFY(driver.ran());
        QCOMPARE(listed, QStringList());
        QCOMPARE(engine.pagesServed(), 0);
        QCOMPARE(statusText(form), statusBefore);
        QCOMPARE(gridRows(history), historyBefore);
        QCOMPARE(m_dir->storedRanks(), QStringList{"www.old.com|seo|1|4"});
        QVERIFY(!QFileInfo::exists(m_dir->dir.filePath("temp.txt")));
    }

    // The whole way: rows added in the dialog, run through the real browser against the fake
    // engines, reported in row and engine order and kept in the history; "退出" afterwards runs
    // nothing again.
    void batchRunsThroughTheBrowser() {
        // The sanitizer run sets this: Chromium's own libraries do not run under it.
        if (qEnvironmentVariableIntValue("MT_SKIP_BROWSER_TESTS") == 1)
            QSKIP("browser tests are switched off in this build");
        FakeEngine engine;
        QVERIFY(writeEngineSettings(m_dir->path(), engine.address()));
        engine.place("k1", {"www.a-one.cn", 1, 2, false});
        engine.place("k2", {"www.b-two.cn", 2, 0, false});

        TMainForm form(m_dir->path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        ModalDriver batch([](QDialog* d) {
            type(d, "QueryWeb", "www.a-one.cn");
            type(d, "QueryKey", "k1");
            findControl<QComboBox>(d, "SearcherCombox")->setCurrentIndex(0);
            click(d, "AddBatchListButton");
            type(d, "QueryWeb", "www.b-two.cn");
            type(d, "QueryKey", "k2");
            findControl<QComboBox>(d, "SearcherCombox")->setCurrentIndex(2);
            click(d, "AddBatchListButton");
            click(d, "StartQueryButton");
        });
        click(&form, "BatchQuery");
        QTRY_VERIFY_WITH_TIMEOUT(!rankTab(form).rankRunActive(), 180000);
        QVERIFY(batch.ran());
        QVERIFY(!batch.leftOpen());

        QStringList served;
        for (const FakeEngine::Request& r : engine.served())
            served << QStringLiteral("%1:%2:%3")
                          .arg(r.engine)
                          .arg(r.page)
                          .arg(QString::fromStdString(r.keyword));
        QCOMPARE(served, (QStringList{"0:1:k1", "1:1:k1", "2:1:k1", "1:1:k2", "1:2:k2"}));
        const QString report =
            QStringLiteral("\"www.a-one.cn\" 在 百度 关键词 \"k1\" 查询中排名第 3 位（新）\r\n"
                           "\"www.a-one.cn\" 在 搜狗 关键词 \"k1\" 查询中排名第 3 位（新）\r\n"
                           "\"www.a-one.cn\" 在 好搜 关键词 \"k1\" 查询中排名第 3 位（新）\r\n"
                           "\"www.b-two.cn\" 在 搜狗 关键词 \"k2\" 查询中排名第 11 位（新）\r\n");
        QCOMPARE(shownMessages(), QStringList{"I:" + report});
        const QStringList ranks{"www.a-one.cn|k1|0|3", "www.a-one.cn|k1|1|3", "www.a-one.cn|k1|2|3",
                                "www.b-two.cn|k2|1|11"};
        QCOMPARE(m_dir->storedRanks(), ranks);
        QStringList historySites;
        for (const QString& row : gridRows(form.findChild<QTableView*>("SortDBGrid")))
            historySites << row.section('|', 0, 2);
        QCOMPARE(historySites, (QStringList{"www.b-two.cn|k2|搜狗", "www.a-one.cn|k1|好搜",
                                            "www.a-one.cn|k1|搜狗", "www.a-one.cn|k1|百度"}));
        // The run's last word counts every query, and so does its progress.
        QCOMPARE(statusText(form),
                 QStringLiteral("完成：4 个查询，4 个有排名，0 个未找到，0 个遇到验证，0 个失败"));
        QVERIFY(findControl<QLabel>(&form, "RankProgressPanel")->text().startsWith("查询 4/4 · "));

        // The earlier batch is not run again when the dialog is left with "退出".
        QStringList listed;
        ModalDriver quit([&listed](QDialog* d) {
            listed = gridRows(gridOf(d));
            click(d, "QuitButton");
        });
        click(&form, "BatchQuery");
        drainEvents();
        QVERIFY(quit.ran());
        QCOMPARE(listed, (QStringList{"www.a-one.cn|k1|全部", "www.b-two.cn|k2|搜狗"}));
        QCOMPARE(engine.pagesServed(), 5);
        QCOMPARE(shownMessages(), QStringList());
        QCOMPARE(m_dir->storedRanks(), ranks);
    }

    // A larger dialog gives the grid the room; the buttons keep to the right and bottom edges.
    void dialogGrows() {
        BatchLists lists;
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect grid = gridOf(&dialog)->geometry();
        const QRect start = findControl<QPushButton>(&dialog, "StartQueryButton")->geometry();
        dialog.resize(dialog.size() + QSize(120, 90));
        QTRY_COMPARE(gridOf(&dialog)->size(), grid.size() + QSize(120, 90));
        QCOMPARE(findControl<QPushButton>(&dialog, "StartQueryButton")->geometry(),
                 start.translated(120, 90));
        QCOMPARE(gridOf(&dialog)->pos(), grid.topLeft());
    }

    // For the documentation: set MT_SCREENSHOT_DIR to a folder to get the picture.
    void screenshot() {
        const QString out = qEnvironmentVariable("MT_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("MT_SCREENSHOT_DIR is not set");
        QVERIFY(QDir().mkpath(out));
        m_dir->seed({"www.example.com|seo 优化|0", "blog.example.com/news|关键词排名|2",
                     "中文.com|网站优化|3"});
        BatchLists lists;
        TBatchQueryForm dialog(m_dir->connection(), lists, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        type(&dialog, "QueryWeb", "www.example.com");
        type(&dialog, "QueryKey", QStringLiteral("seo 优化"));
        clickRow(gridOf(&dialog), 1);
        QVERIFY(dialog.grab().save(out + "/batch.png"));
    }

private:
    std::unique_ptr<ProgramDir> m_dir;
};

std::unique_ptr<QObject> makeBatchQueryTest() {
    return std::make_unique<BatchQueryTest>();
}

#include "batchquery_test.moc"
