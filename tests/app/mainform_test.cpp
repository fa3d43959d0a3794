#include "app/mainform.h"
#include "app/messagebox.h"
#include "testsupport.h"
#include "text/apperror.h"
#include "windowparts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

const QString kCaption =
    QStringLiteral("墨汀高效SEO综合工具") + QStringLiteral(MT_EXPECTED_VERSION);

QStringList visibleTabTitles(const QTabWidget* tabs) {
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->isTabVisible(i))
            titles << tabs->tabText(i);
    return titles;
}

QStringList listedSites(const QListView* list) {
    QStringList sites;
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
        sites << model->index(row, 0).data().toString();
    return sites;
}

// What the user does: select the field's text, delete it, type.
void typeInto(QSpinBox* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private slots:
    void init() { MessageBox::takeShown(); }
    // An error box that a test did not expect is a fault in that test's scenario.
    void cleanup() { QCOMPARE(MessageBox::takeShown().size(), 0); }

    void firstStartWithoutFiles() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        {
            // A first start: no message, an empty site list, no file made yet.
            TMainForm form(dir.path());
            QCOMPARE(MessageBox::takeShown().size(), 0);
            QVERIFY(!QFileInfo::exists(dir.filePath("Url.txt")));

            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.windowTitle(), kCaption);
            QCOMPARE(form.findChild<QSpinBox*>("ThreadCount")->text(), QStringLiteral("8"));
            QCOMPARE(form.findChild<QSpinBox*>("SendCount")->text(), QStringLiteral("2"));
            QCOMPARE(form.findChild<QListView*>("UrlList")->model()->rowCount(), 0);

            auto* pages = form.findChild<QTabWidget*>("SEOPageControl");
            QCOMPARE(pages->currentIndex(), 0);
            QCOMPARE(visibleTabTitles(pages), (QStringList{"外链群发", "排名查询"}));
            QVERIFY(!form.findChild<QWidget*>("StaTabSheet")->isVisible());
            QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {},
                              pages->tabBar()->tabRect(1).center());
            QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("QuerySortTabSheet"));
            auto* history = form.findChild<QTabWidget*>("SortPageControl");
            QVERIFY(history->isVisible());
            QCOMPARE(visibleTabTitles(history), QStringList{"历史排名查询"});
            QVERIFY(!form.findChild<QWidget*>("SortWebTabSheet")->isVisible());

            // The menu bar holds "菜单", and opening it shows "设置", "清理失效模板…" and "关于".
            QMenuBar* bar = form.menuBar();
            auto* menu = form.findChild<QMenu*>("MainMenu");
            QCOMPARE(menu->title(), QStringLiteral("菜单"));
            QTest::mouseClick(bar, Qt::LeftButton, {},
                              bar->actionGeometry(menu->menuAction()).center());
            QTRY_VERIFY(menu->isVisible());
            QStringList items;
            for (QAction* action : menu->actions())
                if (action->isVisible() && !menu->actionGeometry(action).isEmpty())
                    items << action->text();
            QCOMPARE(items, (QStringList{"设置", "清理失效模板…", "关于"}));
            QTest::keyClick(menu, Qt::Key_Escape);
            QTRY_VERIFY(!menu->isVisible());

            // The failed load leaves the status line working.
            statusLine(form).SetStatusText(kGbkDone);
            QCOMPARE(statusText(form), QStringLiteral("完成"));
        }
        // Start-up and shutdown only read: no settings file, no site list. Showing the rank tab
        // opened the history, which makes the database with its empty tables.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"Sort.mdb"});
    }

    // The menu bar's overflow button, whose icon is read only when it is first drawn, shows
    // the style's own icon once the window is too narrow for the menu.
    void menuBarOverflowIcon() {
        QTemporaryDir dir;
        TMainForm form(dir.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QMenuBar* bar = form.menuBar();
        auto* overflow = bar->findChild<QToolButton*>();
        QVERIFY(overflow);
        QVERIFY(!overflow->isVisible());
        bar->setFixedWidth(30);
        QTRY_VERIFY(overflow->isVisible());
        auto* style = qobject_cast<QProxyStyle*>(QApplication::style());
        QVERIFY(style);
        const QImage shown = overflow->icon().pixmap(16, 16).toImage();
        QVERIFY(!shown.isNull());
        QCOMPARE(shown, style->baseStyle()
                            ->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton)
                            .pixmap(16, 16)
                            .toImage());
        QVERIFY(!bar->grab().isNull());
    }

    void loadsSiteFile_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("sites");
        QTest::newRow("GBK, blank line, CR LF, LF and CR")
            << QByteArray(kGbkChinese) + ".com\r\nexample.com\n\nwww.a.cn\rlast.org\r\n"
            << QStringList{"中文.com", "example.com", "", "www.a.cn", "last.org"};
        QTest::newRow("no break after the last line")
            << QByteArray("a.com\r\nb.com") << QStringList{"a.com", "b.com"};
        QTest::newRow("CR followed by CR LF")
            << QByteArray("a.com\r\r\nb.com\n") << QStringList{"a.com", "", "b.com"};
        QTest::newRow("blank lines only") << QByteArray("\n\r\n") << QStringList{"", ""};
        QTest::newRow("empty file") << QByteArray() << QStringList();
    }

    void loadsSiteFile() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, sites);
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), file));
        TMainForm form(dir.path());
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QCOMPARE(listedSites(form.findChild<QListView*>("UrlList")), sites);
    }

    void loadsSendSettings_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("passes");
        QTest::addColumn<QString>("said"); // the start's warning; empty: none
        QTest::newRow("0x prefix")
            << QByteArray("[Setting]\r\nThreadCount=0x10\r\nSendCount=0X0a\r\n") << 16 << 10
            << QString();
        QTest::newRow("$ prefix") << QByteArray("[Setting]\r\nThreadCount=$10\r\nSendCount=$1F\r\n")
                                  << 16 << 31 << QString();
        QTest::newRow("trailing letters")
            << QByteArray("[Setting]\r\nThreadCount=12abc\r\nSendCount=3xyz\r\n") << 8 << 2
            << QStringLiteral(
                   "Setting.ini 中以下数值未按原样使用:\n"
                   "Setting.ini [Setting] ThreadCount=12abc is no whole number; 8 is used.\n"
                   "Setting.ini [Setting] SendCount=3xyz is no whole number; 2 is used"
                   ".");
        QTest::newRow("empty values")
            << QByteArray("[Setting]\r\nThreadCount=\r\nSendCount=\r\n") << 8 << 2 << QString();
        QTest::newRow("below the range")
            << QByteArray("[Setting]\r\nThreadCount=0\r\nSendCount=-5\r\n") << 1 << 1
            << QStringLiteral(
                   "Setting.ini 中以下数值未按原样使用:\n"
                   "Setting.ini [Setting] ThreadCount=0 is out of range (1 to 20); 1 is used.\n"
                   "Setting.ini [Setting] SendCount=-5 is out of range (1 to 100); 1 is used"
                   ".");
        QTest::newRow("above the range")
            << QByteArray("[Setting]\r\nThreadCount=500\r\nSendCount=500\r\n") << 20 << 100
            << QStringLiteral(
                   "Setting.ini 中以下数值未按原样使用:\n"
                   "Setting.ini [Setting] ThreadCount=500 is out of range (1 to 20); 20 is used.\n"
                   "Setting.ini [Setting] SendCount=500 is out of range (1 to 100); 100 is used"
                   ".");
        QTest::newRow("names in any case, blanks around the value")
            << QByteArray("[setting]\nthreadcount= 5 \nSENDCOUNT=7\n") << 5 << 7 << QString();
        QTest::newRow("keys of another section")
            << QByteArray("[SortQuery]\r\nThreadCount=5\r\nSendCount=7\r\n") << 8 << 2 << QString();
    }

    void loadsSendSettings() {
        QFETCH(QByteArray, file);
        QFETCH(int, threads);
        QFETCH(int, passes);
        QFETCH(QString, said);
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), {}));
        QVERIFY(writeFileBytes(dir.filePath("Setting.ini"), file));
        TMainForm form(dir.path());
        QCOMPARE(form.findChild<QSpinBox*>("ThreadCount")->text(), QString::number(threads));
        QCOMPARE(form.findChild<QSpinBox*>("SendCount")->text(), QString::number(passes));
        QCOMPARE(readFileBytes(dir.filePath("Setting.ini")), file);
        drainEvents();
        const QList<MessageBox::Shown> boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty()) {
            QVERIFY(boxes[0].kind == MessageBox::Kind::Warning);
            QCOMPARE(boxes[0].text, said);
        }
    }

    // A settings file that is there but cannot be read stops the start with the error box:
    // the window would otherwise work with the built-in values, not the user's.
    void unreadableSettingsStopTheStart_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("missing") << "missing" << QString();
        QTest::newRow("a folder") << "folder"
                                  << "it is a folder";
        QTest::newRow("a FIFO") << "fifo"
                                << "it is no regular file";
        QTest::newRow("UTF-16") << "utf16"
                                << "it is UTF-16 text; save it as GBK or UTF-8";
        QTest::newRow("binary") << "binary"
                                << "it is no text: it holds zero bytes, as UTF-16 text or a "
                                   "binary file does";
    }

    void unreadableSettingsStopTheStart() {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString path = dir.filePath("Setting.ini");
        if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        else if (kind == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "utf16")
            QVERIFY(writeFileBytes(path, QByteArray("\xFF\xFE[\0S\0]\0", 8)));
        else if (kind == "binary")
            QVERIFY(writeFileBytes(path, QByteArray("[Setting]\0\x01\x02", 12)));
        QCOMPARE(settingsUsable(dir.path()), why.isEmpty());
        const QList<MessageBox::Shown> boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), why.isEmpty() ? 0 : 1);
        if (!why.isEmpty()) {
            QVERIFY(boxes[0].kind == MessageBox::Kind::Error);
            QCOMPARE(boxes[0].text,
                     QStringLiteral("Cannot read the settings file %1: %2.").arg(path, why));
        }
    }

    void savesSendSettings_data() {
        const QByteArray kept = "; kept\r\n[Setting]\r\nThreadCount=500\r\nOther=x\r\n"
                                "[SortQuery]\r\nQuerySleep=700\r\n";
        QTest::addColumn<QByteArray>("before"); // empty: no file
        QTest::addColumn<QString>("threads");   // null: left as loaded
        QTest::addColumn<QString>("passes");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("typed values, other lines kept")
            << kept << "5"
            << "3"
            << QByteArray("; kept\r\n[Setting]\r\nThreadCount=5\r\nOther=x\r\nSendCount=3\r\n"
                          "[SortQuery]\r\nQuerySleep=700\r\n");
        QTest::newRow("loaded values written back in range")
            << kept << QString() << QString()
            << QByteArray("; kept\r\n[Setting]\r\nThreadCount=20\r\nOther=x\r\nSendCount=2\r\n"
                          "[SortQuery]\r\nQuerySleep=700\r\n");
        QTest::newRow("emptied fields give the minimum")
            << kept << ""
            << ""
            << QByteArray("; kept\r\n[Setting]\r\nThreadCount=1\r\nOther=x\r\nSendCount=1\r\n"
                          "[SortQuery]\r\nQuerySleep=700\r\n");
        QTest::newRow("no file yet")
            << QByteArray() << "5"
            << "3" << QByteArray("[Setting]\r\nThreadCount=5\r\nSendCount=3\r\n");
    }

    void savesSendSettings() {
        QFETCH(QByteArray, before);
        QFETCH(QString, threads);
        QFETCH(QString, passes);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString settings = dir.filePath("Setting.ini");
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), {}));
        if (!before.isEmpty())
            QVERIFY(writeFileBytes(settings, before));
        TMainForm form(dir.path());
        if (!threads.isNull())
            typeInto(form.findChild<QSpinBox*>("ThreadCount"), threads);
        if (!passes.isNull())
            typeInto(form.findChild<QSpinBox*>("SendCount"), passes);
        sendTab(form).SaveSendSettings();
        QCOMPARE(readFileBytes(settings), after);
    }

    // A larger window gives the site list and the history the room, the buttons keep to the
    // right and bottom edges, and the next start opens at the size and place it was left.
    void resizedWindowIsRemembered() {
        QTemporaryDir dir;
        QSize designed;
        QRect list;
        QRect grid;
        {
            TMainForm form(dir.path());
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.minimumSize(), form.size());
            designed = form.minimumSize();
            QCOMPARE(designed.width(), 648);
            const QSize start = form.size();
            list = findControl<QListView>(&form, "UrlList")->geometry();
            const QRect quit = findControl<QPushButton>(&form, "QuitButton")->geometry();
            form.resize(start + QSize(200, 150));
            QTRY_COMPARE(form.size(), start + QSize(200, 150));
            QCOMPARE(findControl<QListView>(&form, "UrlList")->size(),
                     list.size() + QSize(200, 150));
            QCOMPARE(findControl<QPushButton>(&form, "QuitButton")->geometry(),
                     quit.translated(200, 150));
            auto* pages = findControl<QTabWidget>(&form, "SEOPageControl");
            pages->setCurrentIndex(1);
            grid = findControl<QWidget>(&form, "SortDBGrid")->geometry();
            QVERIFY2(grid.width() > 600 + 150 && grid.height() > 300 + 100,
                     qPrintable(QStringLiteral("%1x%2").arg(grid.width()).arg(grid.height())));
            form.move(40, 30);
            QVERIFY(form.close());
        }
        const QByteArray settings = readFileBytes(dir.filePath("Setting.ini"));
        QVERIFY2(settings.contains("[Window]\r\n") && settings.contains("Maximized=0\r\n"),
                 settings.constData());
        TMainForm again(dir.path());
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.size(), designed + QSize(200, 150));
        QCOMPARE(again.minimumSize(), designed);
        // It opens on the tab it was left on.
        auto* pages = findControl<QTabWidget>(&again, "SEOPageControl");
        QCOMPARE(pages->currentIndex(), 1);
        pages->setCurrentIndex(0);
        QCOMPARE(findControl<QListView>(&again, "UrlList")->size(), list.size() + QSize(200, 150));
        QCOMPARE(MessageBox::takeShown().size(), 0);
    }

    // At the designed size each control stands where it was designed; a larger window widens
    // the fields and lists, and the buttons keep to the right and bottom edges.
    void controlsInPlace() {
        QTemporaryDir dir;
        TMainForm form(dir.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        enum Grow { Fixed = 0, Wider = 1, Taller = 2, Right = 4, Down = 8 };
        const struct {
            const char* name;
            QRect place; // in its tab
            int grow;
        } controls[] = {
            {"Label1", {30, 20, 89, 21}, Fixed},
            {"Url", {128, 20, 375, 21}, Wider},
            {"AddUrlButton", {532, 10, 80, 40}, Right},
            {"UrlList", {22, 56, 582, 282}, Wider | Taller},
            {"Label3", {30, 369, 118, 21}, Down},
            {"ThreadCount", {148, 363, 119, 26}, Down},
            {"Label4", {374, 369, 118, 21}, Right | Down},
            {"SendCount", {492, 363, 120, 26}, Right | Down},
            {"StopButton", {236, 418, 90, 41}, Right | Down},
            {"StartButton", {364, 418, 120, 41}, Right | Down},
            {"QuitButton", {522, 418, 90, 41}, Right | Down},
            {"Label2", {20, 20, 90, 21}, Fixed},
            {"QueryWeb", {118, 20, 238, 24}, Fixed},
            {"Label6", {389, 20, 60, 21}, Fixed},
            {"QueryKey", {453, 20, 169, 24}, Wider},
            {"Label5", {39, 59, 71, 21}, Fixed},
            {"SearcherCombox", {118, 59, 238, 24}, Fixed},
            {"QuerySortButton", {387, 59, 74, 41}, Right},
            {"BatchQuery", {467, 59, 80, 41}, Right},
            {"StopQueryButton", {553, 59, 70, 41}, Right},
            {"SortPageControl", {0, 114, 644, 364}, Wider | Taller},
        };
        auto* pages = findControl<QTabWidget>(&form, "SEOPageControl");
        for (const QSize grown : {QSize(0, 0), QSize(200, 150)}) {
            form.resize(form.minimumSize() + grown);
            QTRY_COMPARE(form.size(), form.minimumSize() + grown);
            for (int tab : {0, 1}) {
                pages->setCurrentIndex(tab);
                QTest::qWait(0);
                for (const auto& c : controls) {
                    auto* control = findControl<QWidget>(&form, c.name);
                    if (pages->currentWidget() != control->parentWidget())
                        continue;
                    QRect place = c.place;
                    place.adjust(0, 0, c.grow & Wider ? grown.width() : 0,
                                 c.grow & Taller ? grown.height() : 0);
                    place.translate(c.grow & Right ? grown.width() : 0,
                                    c.grow & Down ? grown.height() : 0);
                    QVERIFY2(control->geometry() == place,
                             qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                            .arg(c.name)
                                            .arg(control->x())
                                            .arg(control->y())
                                            .arg(control->width())
                                            .arg(control->height())));
                }
            }
        }
    }

    void statusTextFromUiThread() {
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), {}));
        TMainForm form(dir.path());
        form.show();
        StatusLine& status = statusLine(form);
        bool pendingHandled = false;
        QTimer::singleShot(0, &form, [&] { pendingHandled = true; });
        status.SetStatusText(kGbkDone);
        QCOMPARE(statusText(form), QStringLiteral("完成"));
        // No events are handled inside: nothing a handler does can run in the middle of the
        // caller's step, and the text paints in its turn.
        QVERIFY(!pendingHandled);
    }

    // Each step is 'W' (a worker thread) or 'U' (the UI thread) followed by the GBK text.
    void statusTextKeepsTheLastCall_data() {
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QString>("shown");
        QTest::newRow("worker, then UI") << QByteArrayList{"W\xBC\xD7", "U\xD2\xD2"} << "乙";
        QTest::newRow("UI, then worker") << QByteArrayList{"U\xBC\xD7", "W\xD2\xD2"} << "乙";
        QTest::newRow("two workers") << QByteArrayList{"W\xBC\xD7", "W\xD2\xD2"} << "乙";
        QTest::newRow("worker, UI, worker")
            << QByteArrayList{"W\xBC\xD7", "U\xD2\xD2", "W\xB1\xFB"} << "丙";
    }

    void statusTextKeepsTheLastCall() {
        QFETCH(QByteArrayList, steps);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), {}));
        TMainForm form(dir.path());
        StatusLine& status = statusLine(form);
        for (const QByteArray& step : steps) {
            const Text text = step.mid(1).toStdString();
            if (step.front() == 'W')
                std::thread([&] { status.SetStatusText(text); }).join();
            else
                status.SetStatusText(text);
        }
        drainEvents();
        QCOMPARE(statusText(form), shown);
    }

    void statusTextFromManyWorkers() {
        constexpr int kWorkers = 8;
        constexpr int kCalls = 3000;
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), {}));
        TMainForm form(dir.path());
        form.show();
        StatusLine& status = statusLine(form);

        std::atomic<int> finished = 0;
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w)
            workers.emplace_back([&status, &finished, w] {
                for (int i = 0; i < kCalls; ++i)
                    status.SetStatusText(Text(kGbkDone) + "w" + std::to_string(w) + "-" +
                                         std::to_string(i));
                ++finished;
            });
        // The UI thread keeps writing and handling events while the workers run; every text
        // the panel shows must be one whole text.
        const QRegularExpression whole(QStringLiteral("^完成(ui\\d+|w[0-7]-\\d+)$"));
        QString torn;
        for (int i = 0; finished.load() < kWorkers; ++i) {
            status.SetStatusText(Text(kGbkDone) + "ui" + std::to_string(i));
            QCoreApplication::processEvents();
            if (torn.isEmpty() && !whole.match(statusText(form)).hasMatch())
                torn = statusText(form);
        }
        for (std::thread& worker : workers)
            worker.join();
        QCOMPARE(torn, QString());

        std::thread([&status] { status.SetStatusText("last"); }).join();
        drainEvents();
        QCOMPARE(statusText(form), QStringLiteral("last"));
    }

    void errorReport_data() {
        QTest::addColumn<bool>("appError");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("program error") << true << "Cannot open file /x/Url.txt"
                                       << "Cannot open file /x/Url.txt.";
        QTest::newRow("standard exception") << false << "bad allocation"
                                            << "bad allocation.";
    }

    void errorReport() {
        QFETCH(bool, appError);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QObject context;
        bool reached = false;
        bool finishedHandler = false;
        bool nextHandlerRan = false;
        QTimer::singleShot(0, &context, [&] {
            reached = true;
            if (appError)
                throw AppError(message);
            throw std::runtime_error(message.toStdString());
            finishedHandler = true;
        });
        QTimer::singleShot(0, &context, [&] { nextHandlerRan = true; });
        QTRY_VERIFY(nextHandlerRan);
        QVERIFY(reached);
        QVERIFY(!finishedHandler);
        const QList<MessageBox::Shown> boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].kind == MessageBox::Kind::Error);
        QCOMPARE(boxes[0].text, shown);
    }
};

std::unique_ptr<QObject> makeMainFormTest() {
    return std::make_unique<MainFormTest>();
}

#include "mainform_test.moc"
