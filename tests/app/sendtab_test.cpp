#include "app/mainform.h"
#include "app/messagebox.h"
#include "testserver.h"
#include "testsupport.h"
#include "windowparts.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

using namespace std::chrono_literals;

QStringList sites(const TMainForm& form) {
    QStringList sites;
    const QAbstractItemModel* model = form.findChild<QListView*>("UrlList")->model();
    for (int row = 0; row < model->rowCount(); ++row)
        sites << model->index(row, 0).data().toString();
    return sites;
}

void add(TMainForm& form, const QString& typed) {
    auto* url = form.findChild<QLineEdit*>("Url");
    url->setText(typed);
    QTest::mouseClick(form.findChild<QPushButton*>("AddUrlButton"), Qt::LeftButton);
}

// One thing a user does to the window, as a row of a table.
using Step = std::function<void(TMainForm&)>;

QListView* listOf(TMainForm& form) {
    return findControl<QListView>(&form, "UrlList");
}

void clickRow(TMainForm& form, int row, Qt::KeyboardModifiers modifiers = {}) {
    QListView* list = listOf(form);
    const QRect place = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, place.center());
}

// The open in-place editor takes the text in place of its own and Enter commits it.
void typeIntoEditor(const QString& text) {
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
}

QString shown(const QList<MessageBox::Shown>& shown) {
    QStringList texts;
    for (const auto& s : shown)
        texts << s.text;
    return texts.join('|');
}

} // namespace

Q_DECLARE_METATYPE(Step)

class SendTabTest : public QObject {
    Q_OBJECT

private slots:
    void init() { MessageBox::takeShown(); }
    void cleanup() { QCOMPARE(shown(MessageBox::takeShown()), QString()); }

    void addingSites() {
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "old.example\n\nx.example/\n"));
        TMainForm form(dir.path());
        auto* url = form.findChild<QLineEdit*>("Url");

        add(form, QStringLiteral("  example.com  "));
        QCOMPARE(url->text(), QString());
        add(form, QStringLiteral("中文.com"));
        // The same site again is refused, the field kept to mend.
        add(form, QStringLiteral("EXAMPLE.com"));
        QCOMPARE(url->text(), QStringLiteral("EXAMPLE.com"));
        QCOMPARE(statusText(form), QStringLiteral("example.com 已在列表中，没有重复加入"));
        // Characters GBK lacks: in GB18030's four bytes each.
        add(form, QStringLiteral("naïve😀.cn"));
        QCOMPARE(sites(form), QStringList({"old.example", "", "x.example/", "example.com",
                                           "中文.com", "naïve😀.cn"}));
        QCOMPARE(readFileBytes(dir.filePath("Url.txt")),
                 QByteArray("old.example\r\n\r\nx.example/\r\nexample.com\r\n") + kGbkChinese +
                     ".com\r\nna\x81\x30\x8A\x37ve\x94\x39\xFC\x36.cn\r\n");

        // Blanks only: the field is emptied, nothing else happens.
        add(form, QStringLiteral(" \t "));
        QCOMPARE(url->text(), QString());
        QCOMPARE(sites(form).size(), 6);
    }

    // Half of a surrogate pair is no character: refused by name rather than saved as "?".
    void siteWithHalfACharacterIsRefused() {
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "old.example\r\n"));
        TMainForm form(dir.path());
        const QString typed = QStringLiteral("a") + QChar(0xD800) + QStringLiteral(".example");
        add(form, typed);
        QCOMPARE(shown(MessageBox::takeShown()),
                 QStringLiteral("The site holds U+D800 (half of a surrogate pair), which is no "
                                "character."));
        QCOMPARE(sites(form), QStringList{"old.example"});
        QCOMPARE(form.findChild<QLineEdit*>("Url")->text(), typed);
        QCOMPARE(readFileBytes(dir.filePath("Url.txt")), QByteArray("old.example\r\n"));
    }

    // A control character inside one site is refused, the text kept to mend (line breaks make
    // lines, each a site: see editingTheSiteList).
    void siteWithControlCharactersIsRefused() {
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "old.example\r\n"));
        TMainForm form(dir.path());
        for (const QString& typed :
             {QStringLiteral("a\tb"), QStringLiteral("a\x7F") + QStringLiteral("b.example")}) {
            add(form, typed);
            QCOMPARE(shown(MessageBox::takeShown()),
                     QStringLiteral("网址不能包含换行符等控制字符。"));
            QCOMPARE(sites(form), QStringList{"old.example"});
            QCOMPARE(form.findChild<QLineEdit*>("Url")->text(), typed);
        }
        QCOMPARE(readFileBytes(dir.filePath("Url.txt")), QByteArray("old.example\r\n"));
    }

    // The list stays as the file has it; the field keeps the site for another try.
    void refusedSaveLeavesTheListAsTheFileHasIt() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("Url.txt")); // nothing can replace a directory
        TMainForm form(dir.path());
        MessageBox::takeShown(); // the failed load at start-up
        add(form, QStringLiteral("example.com"));
        QCOMPARE(shown(MessageBox::takeShown()),
                 QStringLiteral("Cannot create file %1.").arg(dir.filePath("Url.txt")));
        QCOMPARE(sites(form), QStringList());
        QCOMPARE(form.findChild<QLineEdit*>("Url")->text(), QStringLiteral("example.com"));
    }

    // Each edit as a user makes it: the list, "Url.txt" (saved at once, whole) and the word on
    // the status line after it.
    void editingTheSiteList_data() {
        QTest::addColumn<Step>("step");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("said");
        const QStringList start{"a.example", "b.example", "c.example"};
        QTest::newRow("add trims and empties the field")
            << Step([](TMainForm& f) { add(f, "  d.example  "); })
            << (start + QStringList{"d.example"}) << QString()
            << QStringLiteral("已加入 d.example");
        QTest::newRow("Enter adds") << Step([](TMainForm& f) {
            auto* url = findControl<QLineEdit>(&f, "Url");
            url->setText("d.example");
            QTest::keyClick(url, Qt::Key_Return);
        }) << (start + QStringList{"d.example"})
                                    << QString() << QStringLiteral("已加入 d.example");
        QTest::newRow("same site in capitals with a slash")
            << Step([](TMainForm& f) { add(f, " B.Example/ "); }) << start
            << QStringLiteral("B.Example/") << QStringLiteral("b.example 已在列表中，没有重复加入");
        QTest::newRow("lines pasted into the field")
            << Step([](TMainForm& f) {
                   add(f, "d.example\r\n\r\n A.EXAMPLE\ne.example\nd.example/\nx\ty");
               })
            << (start + QStringList{"d.example", "e.example"}) << QString()
            << QStringLiteral(
                   "已加入 2 个网址，跳过 3 行（2 行已在列表中，1 行含控制字符等无效字符）");
        QTest::newRow("Ctrl+V in the list")
            << Step([](TMainForm& f) {
                   QGuiApplication::clipboard()->setText("f.example\nc.example\n");
                   QTest::keyClick(listOf(f), Qt::Key_V, Qt::ControlModifier);
               })
            << (start + QStringList{"f.example"}) << QString()
            << QStringLiteral("已加入 1 个网址，跳过 1 行（1 行已在列表中）");
        QTest::newRow("Delete key") << Step([](TMainForm& f) {
            clickRow(f, 1);
            QTest::keyClick(listOf(f), Qt::Key_Delete);
        }) << QStringList{"a.example", "c.example"}
                                    << QString() << QStringLiteral("已删除 b.example");
        QTest::newRow("delete two from the menu") << Step([](TMainForm& f) {
            clickRow(f, 0);
            clickRow(f, 2, Qt::ControlModifier);
            triggerMenu(f, "DeleteSiteMenu");
        }) << QStringList{"b.example"} << QString()
                                                  << QStringLiteral("已删除 2 个网址");
        QTest::newRow("edit in place") << Step([](TMainForm& f) {
            clickRow(f, 1);
            QTest::keyClick(listOf(f), Qt::Key_F2);
            typeIntoEditor("B2.example");
        }) << QStringList{"a.example", "B2.example", "c.example"}
                                       << QString() << QStringLiteral("已改为 B2.example");
        QTest::newRow("edit from the menu") << Step([](TMainForm& f) {
            clickRow(f, 2);
            triggerMenu(f, "EditSiteMenu");
            typeIntoEditor(" d.example ");
        }) << QStringList{"a.example", "b.example", "d.example"}
                                            << QString() << QStringLiteral("已改为 d.example");
        QTest::newRow("edit into another site") << Step([](TMainForm& f) {
            clickRow(f, 1);
            QTest::keyClick(listOf(f), Qt::Key_F2);
            typeIntoEditor("A.example");
        }) << start << QString() << QStringLiteral("a.example 已在列表中，没有修改");
        QTest::newRow("edit into blanks") << Step([](TMainForm& f) {
            clickRow(f, 1);
            QTest::keyClick(listOf(f), Qt::Key_F2);
            typeIntoEditor("   ");
        }) << start << QString() << QStringLiteral("网址不能为空，没有修改；要删除请按 Delete 键");
        QTest::newRow("edit into its own site in capitals") << Step([](TMainForm& f) {
            clickRow(f, 1);
            QTest::keyClick(listOf(f), Qt::Key_F2);
            typeIntoEditor("B.EXAMPLE");
        }) << QStringList{"a.example", "B.EXAMPLE", "c.example"}
                                                            << QString()
                                                            << QStringLiteral("已改为 B.EXAMPLE");
    }

    void editingTheSiteList() {
        QFETCH(Step, step);
        QFETCH(QStringList, after);
        QFETCH(QString, field);
        QFETCH(QString, said);
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "a.example\r\nb.example\r\nc.example\r\n"));
        TMainForm form(dir.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        listOf(form)->setFocus();
        QTRY_VERIFY(listOf(form)->hasFocus());
        step(form);
        drainEvents();
        QCOMPARE(sites(form), after);
        QCOMPARE(readFileBytes(dir.filePath("Url.txt")),
                 (after.join("\r\n") + (after.isEmpty() ? "" : "\r\n")).toUtf8());
        QCOMPARE(findControl<QLineEdit>(&form, "Url")->text(), field);
        QCOMPARE(statusText(form), said);
    }

    // For the documentation: set MT_SCREENSHOT_DIR to a folder to get the picture of a run under
    // way, its progress bar with the time left.
    void screenshotOfASendRun() {
        const QString out = qEnvironmentVariable("MT_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("MT_SCREENSHOT_DIR is not set");
        TestServer server;
        server.setDefaultResponse(
            TestResponse::raw("HTTP/1.1 200 OK\r\n").then("Content-Length: 0\r\n\r\n", 40ms));
        QTemporaryDir dir;
        QByteArray sites;
        for (int i = 0; i < 40; ++i)
            sites += "site" + QByteArray::number(i) + ".example.com\r\n";
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), sites));
        const std::string base = server.url("");
        QVERIFY(writeFileBytes(dir.filePath("SL.txt"),
                               QByteArray::fromStdString("9" + base + "/whois/{@url}\r\n9" + base +
                                                         "/site/{_url}\r\n")));
        TMainForm form(dir.path());
        form.findChild<QSpinBox*>("ThreadCount")->setValue(2);
        form.findChild<QSpinBox*>("SendCount")->setValue(3);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QPushButton*>("StartButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sendProgressText(form).contains(QStringLiteral("剩余")), 20000);
        QTest::qWait(300);
        QVERIFY(QDir().mkpath(out) && form.grab().save(out + "/send-run.png"));
    }

    void wholeRunFromTheButton() {
        TestServer server;
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "a.example/\r\nwww.b.example\r\n"));
        const std::string base = server.url("");
        QVERIFY(writeFileBytes(
            dir.filePath("SL.txt"),
            QByteArray::fromStdString("9" + base + "/p/{@url}\r\n1" + base + "/q/{_url}\r\n")));
        QVERIFY(writeFileBytes(dir.filePath("SendLog.txt"), "from an earlier run\r\n"));
        TMainForm form(dir.path());
        form.findChild<QSpinBox*>("ThreadCount")->setValue(8);
        form.findChild<QSpinBox*>("SendCount")->setValue(2);
        auto* start = form.findChild<QPushButton*>("StartButton");

        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(!start->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
        drainEvents();

        QCOMPARE(statusText(form), QStringLiteral("完成: 成功 6 / 共 6; 失效模板 0 个"));
        QCOMPARE(sendProgressText(form), QStringLiteral("6/6"));
        QVERIFY(readFileBytes(dir.filePath("SendReport.csv")).startsWith("\xEF\xBB\xBF行号,"));
        QCOMPARE(server.connectionCount(), 6);
        QCOMPARE(readFileBytes(dir.filePath("SendLog.txt")).count("\r\n"), 6);
        QVERIFY(!readFileBytes(dir.filePath("SendLog.txt")).contains("earlier"));
        QCOMPARE(readFileBytes(dir.filePath("Setting.ini")),
                 QByteArray("[Setting]\r\nThreadCount=8\r\nSendCount=2\r\n"));
        // The list is tidied for the run; the file keeps what the user saved.
        QCOMPARE(sites(form), QStringList({"a.example", "www.b.example"}));
        QCOMPARE(readFileBytes(dir.filePath("Url.txt")),
                 QByteArray("a.example/\r\nwww.b.example\r\n"));
    }

    // After a run, "清理失效模板" takes the templates that failed for every site out of "SL.txt",
    // once the user agrees, and keeps the old file; before a run there is nothing to go by.
    void deadTemplatesLeaveFromTheMenu() {
        TestServer server;
        server.setHandler([](const std::string& request) {
            return request.find("GET /gone/") == 0
                       ? TestResponse::raw("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                       : TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        });
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "a.example\r\nb.example\r\n"));
        const std::string base = server.url("");
        const QByteArray templates =
            QByteArray::fromStdString("9" + base + "/ok/{@url}\r\n9" + base + "/gone/{@url}\r\n");
        QVERIFY(writeFileBytes(dir.filePath("SL.txt"), templates));
        TMainForm form(dir.path());
        auto* clean = form.findChild<QAction*>("CleanTemplatesMenu");
        QVERIFY(clean && clean->isVisible());
        clean->trigger();
        QCOMPARE(shown(MessageBox::takeShown()),
                 QStringLiteral("还没有群发过：群发一次后，才知道哪些模板失效。"));

        form.findChild<QSpinBox*>("SendCount")->setValue(1);
        auto* start = form.findChild<QPushButton*>("StartButton");
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
        drainEvents();
        QCOMPARE(statusText(form), QStringLiteral("完成: 成功 2 / 共 4; 失效模板 1 个"));

        MessageBox::setTestMode(true, MessageBox::Answer::Cancel);
        clean->trigger();
        QCOMPARE(MessageBox::takeShown().size(), 1);
        QCOMPARE(readFileBytes(dir.filePath("SL.txt")), templates);
        MessageBox::setTestMode(true, MessageBox::Answer::Ok);
        clean->trigger();
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].kind == MessageBox::Kind::Question);
        QVERIFY2(shown[0].text.contains(QStringLiteral("对所有网址都失败的 1 个模板")),
                 qPrintable(shown[0].text));
        QCOMPARE(shown[1].text, QStringLiteral("已删除 1 个失效模板；原文件保存为 SL.txt.bak。"));
        QCOMPARE(readFileBytes(dir.filePath("SL.txt")),
                 QByteArray::fromStdString("9" + base + "/ok/{@url}\r\n"));
        QCOMPARE(readFileBytes(dir.filePath("SL.txt.bak")), templates);
        // The status line counts what is left; a second cleaning knows the first.
        QCOMPARE(statusText(form),
                 QStringLiteral("完成: 成功 2 / 共 4; 失效模板 0 个 (已清理 1 个)"));
        clean->trigger();
        QCOMPARE(::shown(MessageBox::takeShown()),
                 QStringLiteral("上次群发的失效模板已经清理过了。"));
        QCOMPARE(readFileBytes(dir.filePath("SL.txt")),
                 QByteArray::fromStdString("9" + base + "/ok/{@url}\r\n"));

        // A new run is a new account: nothing dead in it.
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
        drainEvents();
        QCOMPARE(statusText(form), QStringLiteral("完成: 成功 2 / 共 2; 失效模板 0 个"));
        clean->trigger();
        QCOMPARE(::shown(MessageBox::takeShown()), QStringLiteral("上次群发没有失效的模板。"));
    }

    // The dead lines changed by hand since the run: nothing left to take, and none is said
    // taken.
    void cleaningAfterTheTemplatesChanged() {
        TestServer server;
        server.setDefaultResponse(
            TestResponse::raw("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "a.example\r\n"));
        const QByteArray templates = QByteArray::fromStdString("9" + server.url("/gone/{@url}"));
        QVERIFY(writeFileBytes(dir.filePath("SL.txt"), templates));
        TMainForm form(dir.path());
        form.findChild<QSpinBox*>("SendCount")->setValue(1);
        auto* start = form.findChild<QPushButton*>("StartButton");
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
        drainEvents();
        QVERIFY(writeFileBytes(dir.filePath("SL.txt"), "9http://mended.example/{@url}\r\n"));
        triggerMenu(form, "CleanTemplatesMenu");
        const QList<MessageBox::Shown> said = MessageBox::takeShown();
        QCOMPARE(said.size(), 2);
        QCOMPARE(said[1].text,
                 QStringLiteral("SL.txt 在群发后改过，已没有上次失效的模板；文件没有改动。"));
        QCOMPARE(readFileBytes(dir.filePath("SL.txt")),
                 QByteArray("9http://mended.example/{@url}\r\n"));
        QVERIFY(!QFile::exists(dir.filePath("SL.txt.bak")));
        QCOMPARE(statusText(form),
                 QStringLiteral("完成: 成功 0 / 共 1; 失效模板 0 个 (已清理 0 个)"));
    }

    // "停止" ends the run: the log keeps what was written, the report counts what was done, the
    // status line says it was stopped. The list cannot be edited meanwhile, only added to.
    void stoppingARun() {
        TestServer server;
        for (int i = 0; i < 3; ++i)
            server.queueResponse(TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
        server.setDefaultResponse(TestResponse::silent());
        QTemporaryDir dir;
        QByteArray list;
        for (int i = 0; i < 40; ++i)
            list += "s" + QByteArray::number(i) + ".example\r\n";
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), list));
        QVERIFY(writeFileBytes(dir.filePath("SL.txt"),
                               QByteArray::fromStdString("5" + server.url("/{@url}"))));
        TMainForm form(dir.path());
        form.findChild<QSpinBox*>("ThreadCount")->setValue(1);
        form.findChild<QSpinBox*>("SendCount")->setValue(1);
        auto* start = findControl<QPushButton>(&form, "StartButton");
        auto* stop = findControl<QPushButton>(&form, "StopButton");
        auto* remove = form.findChild<QAction*>("DeleteSiteMenu");
        auto* edit = form.findChild<QAction*>("EditSiteMenu");
        QVERIFY(!stop->isEnabled());
        clickRow(form, 0);
        QVERIFY(remove->isEnabled() && edit->isEnabled());

        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(stop->isEnabled() && !start->isEnabled());
        QVERIFY(!remove->isEnabled() && !edit->isEnabled());
        QCOMPARE(listOf(form)->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(server.waitForConnections(4, 10s));
        add(form, "late.example");
        QCOMPARE(sites(form).size(), 41);

        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!stop->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
        drainEvents();
        QVERIFY(!sendTab(form).isRunning());
        QVERIFY(!stop->isEnabled());
        QVERIFY(remove->isEnabled() && edit->isEnabled());
        QCOMPARE(statusText(form), QStringLiteral("已停止: 成功 3 / 共 3"));
        QCOMPARE(readFileBytes(dir.filePath("SendLog.txt")).count("\r\n"), 3);
        QVERIFY(readFileBytes(dir.filePath("SendReport.csv")).contains(",3,3,,"));
        QCOMPARE(server.connectionCount(), 4);

        // Three sites reached say nothing of the other 38.
        triggerMenu(form, "CleanTemplatesMenu");
        QCOMPARE(shown(MessageBox::takeShown()),
                 QStringLiteral("上次群发没有做完（已停止），不知道哪些模板对所有网址都失败；"
                                "请完整群发一次后再清理。"));
    }

    // A disk that fills during a run ends it; the window says which file and why in an error box,
    // and the summary counts only what the log holds.
    void fullDiskIsSaidAtTheEnd() {
        TestServer server;
        QTemporaryDir dir;
        QByteArray sites;
        for (int i = 0; i < 200; ++i)
            sites += "s" + QByteArray::number(i) + ".example\r\n";
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), sites));
        QVERIFY(writeFileBytes(dir.filePath("SL.txt"),
                               QByteArray::fromStdString("5" + server.url("/{@url}"))));
        TMainForm form(dir.path());
        form.findChild<QSpinBox*>("SendCount")->setValue(1);
        auto* start = form.findChild<QPushButton*>("StartButton");
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 2048;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QTest::mouseClick(start, Qt::LeftButton);
        const bool ended = QTest::qWaitFor([start] { return start->isEnabled(); }, 20000);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(ended);
        drainEvents();
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].kind == MessageBox::Kind::Error);
        QCOMPARE(shown[0].text, QStringLiteral("Cannot write file %1: File too large.")
                                    .arg(dir.filePath("SendLog.txt")));
        const QByteArray log = readFileBytes(dir.filePath("SendLog.txt"));
        QVERIFY(log.endsWith("\r\n"));
        QVERIFY2(statusText(form).startsWith(
                     QStringLiteral("出错中止: 成功 %1 / ").arg(log.count("\r\n"))),
                 qPrintable(statusText(form)));
    }

    // No template: the user is told what "SL.txt" is and where it goes; nothing is sent and
    // the last run's log stays.
    void noTemplatesStopTheStart_data() {
        QTest::addColumn<QByteArray>("templates"); // "<none>": no file
        QTest::newRow("no file") << QByteArray("<none>");
        QTest::newRow("no template line") << QByteArray("\r\n# notes\r\nhttp://x/{@url}\r\n");
    }

    void noTemplatesStopTheStart() {
        QFETCH(QByteArray, templates);
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "a.example\r\n"));
        QVERIFY(writeFileBytes(dir.filePath("SendLog.txt"), "old\r\n"));
        if (templates != "<none>")
            QVERIFY(writeFileBytes(dir.filePath("SL.txt"), templates));
        TMainForm form(dir.path());
        QTest::mouseClick(form.findChild<QPushButton*>("StartButton"), Qt::LeftButton);
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].kind == MessageBox::Kind::Warning);
        QVERIFY2(
            shown[0].text.startsWith(QStringLiteral("没有链接模板，无法群发。请把链接模板写进 ") +
                                     dir.filePath("SL.txt")),
            qPrintable(shown[0].text));
        QVERIFY(shown[0].text.contains(QStringLiteral("{_url} 或 {@url}")));
        QVERIFY(!sendTab(form).isRunning());
        QVERIFY(form.findChild<QPushButton*>("StartButton")->isEnabled());
        QCOMPARE(readFileBytes(dir.filePath("SendLog.txt")), QByteArray("old\r\n"));
        QVERIFY(QFile::exists(dir.filePath("Setting.ini")));
    }

    // Closing during a run asks first: Cancel keeps the window and the run, OK ends the run's
    // workers and the window.
    void closingDuringARunAsksFirst_data() {
        QTest::addColumn<bool>("agree");
        QTest::newRow("Cancel") << false;
        QTest::newRow("OK") << true;
    }

    void closingDuringARunAsksFirst() {
        QFETCH(bool, agree);
        TestServer server;
        server.setDefaultResponse(TestResponse::silent());
        QTemporaryDir dir;
        QByteArray sites;
        for (int i = 0; i < 40; ++i)
            sites += "s" + QByteArray::number(i) + ".example\r\n";
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), sites));
        QVERIFY(writeFileBytes(dir.filePath("SL.txt"),
                               QByteArray::fromStdString("5" + server.url("/{@url}"))));
        auto form = std::make_unique<TMainForm>(dir.path());
        form->show();
        QTest::mouseClick(form->findChild<QPushButton*>("StartButton"), Qt::LeftButton);
        QVERIFY(server.waitForConnections(8, 5s));

        MessageBox::setTestMode(true, agree ? MessageBox::Answer::Ok : MessageBox::Answer::Cancel);
        const bool closed = form->close();
        const QList<MessageBox::Shown> asked = MessageBox::takeShown();
        MessageBox::setTestMode(true, MessageBox::Answer::Ok);
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].kind == MessageBox::Kind::Question);
        QCOMPARE(asked[0].text, QStringLiteral("群发正在进行，关闭窗口将停止群发（已写入的日志"
                                               "保留）。确定要关闭吗？"));
        QCOMPARE(closed, agree);
        QCOMPARE(form->isVisible(), !agree);
        QCOMPARE(sendTab(*form).isRunning(), !agree);
        if (!agree) {
            // Still sending: stopped from its button, it ends as any stopped run.
            QTest::mouseClick(form->findChild<QPushButton*>("StopButton"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!sendTab(*form).isRunning(), 20000);
            QVERIFY(statusText(*form).startsWith(QStringLiteral("已停止: ")));
            // With no run the window closes without a question.
            QVERIFY(form->close());
        }
        form.reset();
        drainEvents();
    }
};

std::unique_ptr<QObject> makeSendTabTest() {
    return std::make_unique<SendTabTest>();
}

#include "sendtab_test.moc"
