#include "app/mainform.h"
#include "app/messagebox.h"
#include "testserver.h"
#include "testsupport.h"
#include "windowparts.h"

#include <QAction>
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

QString shown(const QList<MessageBox::Shown>& shown) {
    QStringList texts;
    for (const auto& s : shown)
        texts << s.text;
    return texts.join('|');
}

} // namespace

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
        QCOMPARE(url->text(), QStringLiteral("example.com"));
        add(form, QStringLiteral("中文.com"));
        add(form, QStringLiteral("example.com"));
        // Characters GBK lacks: in GB18030's four bytes each.
        add(form, QStringLiteral("naïve😀.cn"));
        QCOMPARE(sites(form), QStringList({"old.example", "", "x.example/", "example.com",
                                           "中文.com", "example.com", "naïve😀.cn"}));
        QCOMPARE(readFileBytes(dir.filePath("Url.txt")),
                 QByteArray("old.example\r\n\r\nx.example/\r\nexample.com\r\n") + kGbkChinese +
                     ".com\r\nexample.com\r\nna\x81\x30\x8A\x37ve\x94\x39\xFC\x36.cn\r\n");

        // Blanks only: the field is emptied, nothing else happens.
        add(form, QStringLiteral(" \t "));
        QCOMPARE(url->text(), QString());
        QCOMPARE(sites(form).size(), 7);
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

    // A line break (from a paste) would write two sites: refused, the text kept to mend.
    void siteWithControlCharactersIsRefused() {
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(dir.filePath("Url.txt"), "old.example\r\n"));
        TMainForm form(dir.path());
        for (const QString& typed : {QStringLiteral("a.example\nb.example"),
                                     QStringLiteral("a.example\rb"), QStringLiteral("a\tb")}) {
            add(form, typed);
            QCOMPARE(shown(MessageBox::takeShown()),
                     QStringLiteral("网址不能包含换行符等控制字符。"));
            QCOMPARE(sites(form), QStringList{"old.example"});
            QCOMPARE(form.findChild<QLineEdit*>("Url")->text(), typed);
        }
        QCOMPARE(readFileBytes(dir.filePath("Url.txt")), QByteArray("old.example\r\n"));
    }

    void refusedSaveKeepsTheEntry() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("Url.txt")); // nothing can replace a directory
        TMainForm form(dir.path());
        MessageBox::takeShown(); // the failed load at start-up
        add(form, QStringLiteral("example.com"));
        QCOMPARE(shown(MessageBox::takeShown()),
                 QStringLiteral("Cannot create file %1.").arg(dir.filePath("Url.txt")));
        QCOMPARE(sites(form), QStringList({"example.com"}));
        QCOMPARE(form.findChild<QLineEdit*>("Url")->text(), QStringLiteral("example.com"));
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
        QVERIFY2(
            statusText(form).startsWith(QStringLiteral("完成: 成功 %1 / ").arg(log.count("\r\n"))),
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

    void closingDuringARunEndsItsWorkers() {
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
        QVERIFY(form->close());
        QVERIFY(!sendTab(*form).isRunning());
        form.reset();
        drainEvents();
    }
};

std::unique_ptr<QObject> makeSendTabTest() {
    return std::make_unique<SendTabTest>();
}

#include "sendtab_test.moc"
