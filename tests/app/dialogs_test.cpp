#include "app/aboutform.h"
#include "app/mainform.h"
#include "app/messagebox.h"
#include "app/settingform.h"
#include "testsupport.h"
#include "windowparts.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kCaption =
    QStringLiteral("墨汀高效SEO综合工具") + QStringLiteral(MT_EXPECTED_VERSION);

void clickTab(QTabWidget* tabs, int index) {
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(index).center());
}

void typeInto(QSpinBox* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// As the user does it: "菜单", then the item. Returns once the dialog it opens has closed.
void chooseMenuItem(TMainForm& form, const QString& text) {
    QMenuBar* bar = form.menuBar();
    auto* menu = form.findChild<QMenu*>("MainMenu");
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QTRY_VERIFY(menu->isVisible());
    for (QAction* action : menu->actions())
        if (action->text() == text)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

// A program folder with an empty site list, so start-up shows no error.
struct ProgramDir {
    ProgramDir() { writeFileBytes(dir.filePath("Url.txt"), {}); }
    QString file(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QTemporaryDir dir;
};

const QByteArray kStoredSettings = "[SortQuery]\r\nSortToDB=1\r\nQuerySleep=700\r\n";

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { MessageBox::takeShown(); }
    void cleanup() {
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    // The first opening is closed with "确定", the second with the close box.
    void aboutOpensFreshEachTime() {
        ProgramDir program;
        TMainForm form(program.dir.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const bool byButton : {true, false}) {
            QPointer<QDialog> opened;
            bool closed = false;
            ModalDriver driver([&](QDialog* dialog) {
                opened = dialog;
                QVERIFY(qobject_cast<TAboutForm*>(dialog));
                QCOMPARE(dialog->objectName(), QStringLiteral("AboutForm"));
                QVERIFY(dialog->isModal());
                QCOMPARE(dialog->parentWidget(), &form);
                QCOMPARE(form.findChildren<TAboutForm*>().size(), 1);
                QCOMPARE(dialog->windowTitle(), QStringLiteral("关于"));
                QCOMPARE(findControl<QLabel>(dialog, "ApplicationVersionLabel")->text(), kCaption);
                QVERIFY(
                    findControl<QLabel>(dialog, "DeveloperLabel")->text().startsWith("开发商："));
                QVERIFY(findControl<QLabel>(dialog, "SuggestionLabel")
                            ->text()
                            .startsWith("联系方式："));
                QCOMPARE(findControl<QPushButton>(dialog, "OKButton")->text(),
                         QStringLiteral("确定"));
                if (byButton)
                    click(dialog, "OKButton");
                else
                    dialog->close();
                closed = !dialog->isVisible();
            });
            chooseMenuItem(form, QStringLiteral("关于"));
            QVERIFY(driver.ran());
            QVERIFY(closed);
            QVERIFY(!driver.leftOpen());
            drainEvents();
            QVERIFY(opened.isNull());
            QVERIFY(form.findChildren<TAboutForm*>().isEmpty());
        }
    }

    void settingsShowWhatTheFileHolds_data() {
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("pause");
        QTest::addColumn<bool>("https");
        QTest::addColumn<bool>("follow");
        QTest::addColumn<bool>("warned"); // at the start, of values not used as written
        QTest::newRow("no file") << QByteArray() << true << "2000" << false << false << false;
        QTest::newRow("stored values")
            << QByteArray("[SortQuery]\r\nSortToDB=0\r\nQuerySleep=500\r\n") << false << "500"
            << false << false << false;
        // A pause out of range shows as the one used, which the start said.
        QTest::newRow("any non-zero number is true, negative pause as the one used")
            << QByteArray("[sortquery]\r\nsorttodb=-1\r\nquerysleep=-20\r\n") << true << "0"
            << false << false << true;
        QTest::newRow("a pause beyond an hour as the one used")
            << QByteArray("[SortQuery]\r\nQuerySleep=2000000000\r\n") << true << "3600000" << false
            << false << true;
        QTest::newRow("words and decimals give the defaults")
            << QByteArray("[SortQuery]\r\nSortToDB=false\r\nQuerySleep=1.5\r\n") << true << "2000"
            << false << false << true;
        QTest::newRow("https and redirects on")
            << QByteArray("[Setting]\r\nThreadCount=5\r\nAllowHttps=1\r\nFollowRedirects=1\r\n")
            << true << "2000" << true << true << false;
        QTest::newRow("redirects only")
            << QByteArray("[setting]\r\nallowhttps=0\r\nfollowredirects=-1\r\n") << true << "2000"
            << false << true << false;
        QTest::newRow("send switches read from their own section only")
            << QByteArray("[SortQuery]\r\nAllowHttps=1\r\nFollowRedirects=1\r\n") << true << "2000"
            << false << false << false;
    }

    void settingsShowWhatTheFileHolds() {
        QFETCH(QByteArray, file);
        QFETCH(bool, store);
        QFETCH(QString, pause);
        QFETCH(bool, https);
        QFETCH(bool, follow);
        QFETCH(bool, warned);
        ProgramDir program;
        if (!file.isEmpty())
            QVERIFY(writeFileBytes(program.file("Setting.ini"), file));
        TMainForm form(program.dir.path());
        form.show();
        QPointer<QDialog> opened;
        ModalDriver driver([&](QDialog* dialog) {
            opened = dialog;
            QVERIFY(qobject_cast<TSettingForm*>(dialog));
            QCOMPARE(dialog->objectName(), QStringLiteral("SettingForm"));
            QVERIFY(dialog->isModal());
            QCOMPARE(dialog->parentWidget(), &form);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("设置"));
            auto* pages = findControl<QTabWidget>(dialog, "PageControl1");
            QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet1"));
            QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("外链群发"));
            auto* sortToDb = findControl<QCheckBox>(dialog, "SortToDB");
            auto* querySleep = findControl<QSpinBox>(dialog, "QuerySleep");
            QVERIFY(findControl<QWidget>(dialog, "TabSheet2")->isAncestorOf(sortToDb));
            QVERIFY(findControl<QWidget>(dialog, "TabSheet2")->isAncestorOf(querySleep));
            QCOMPARE(sortToDb->isChecked(), store);
            QCOMPARE(querySleep->text(), pause);
            auto* allowHttps = findControl<QCheckBox>(dialog, "AllowHttps");
            auto* followRedirects = findControl<QCheckBox>(dialog, "FollowRedirects");
            QVERIFY(findControl<QWidget>(dialog, "TabSheet1")->isAncestorOf(allowHttps));
            QVERIFY(findControl<QWidget>(dialog, "TabSheet1")->isAncestorOf(followRedirects));
            QVERIFY(allowHttps->isVisible());
            QVERIFY(followRedirects->isVisible());
            QCOMPARE(allowHttps->text(), QStringLiteral("允许 https 模板"));
            QCOMPARE(followRedirects->text(), QStringLiteral("跟随重定向（最多 5 次）"));
            QCOMPARE(allowHttps->isChecked(), https);
            QCOMPARE(followRedirects->isChecked(), follow);
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(driver.ran());
        QVERIFY(!driver.leftOpen());
        drainEvents();
        QVERIFY(opened.isNull());
        // Opening only reads.
        QCOMPARE(readFileBytes(program.file("Setting.ini")),
                 file.isEmpty() ? QByteArray("<missing>") : file);
        // Values out of range or no numbers were said once, at the start.
        const QList<MessageBox::Shown> boxes = MessageBox::takeShown();
        QCOMPARE(boxes.size(), warned ? 1 : 0);
        if (warned)
            QVERIFY(boxes[0].kind == MessageBox::Kind::Warning);
    }

    void settingsOkWritesAndStaysOpen_data() {
        QTest::addColumn<QByteArray>("before"); // empty: no file
        QTest::addColumn<bool>("untick");
        QTest::addColumn<QString>("pause");
        QTest::addColumn<bool>("toggleHttps");
        QTest::addColumn<bool>("toggleFollow");
        QTest::addColumn<QByteArray>("after");
        const QByteArray sendOff = "[Setting]\r\nAllowHttps=0\r\nFollowRedirects=0\r\n";
        QTest::newRow("untick and 500")
            << QByteArray() << true << "500" << false << false
            << QByteArray("[SortQuery]\r\nSortToDB=0\r\nQuerySleep=500\r\n") + sendOff;
        QTest::newRow("emptied pause writes 0")
            << QByteArray() << false << "" << false << false
            << QByteArray("[SortQuery]\r\nSortToDB=1\r\nQuerySleep=0\r\n") + sendOff;
        // The field takes no pause beyond an hour: the last digit is refused.
        QTest::newRow("pause beyond an hour")
            << QByteArray() << false << "4000000" << false << false
            << QByteArray("[SortQuery]\r\nSortToDB=1\r\nQuerySleep=400000\r\n") + sendOff;
        QTest::newRow("section added after the send settings")
            << QByteArray("[Setting]\r\nThreadCount=5\r\nSendCount=3\r\n") << false << "700"
            << false << false
            << QByteArray("[Setting]\r\nThreadCount=5\r\nSendCount=3\r\nAllowHttps=0\r\n"
                          "FollowRedirects=0\r\n[SortQuery]\r\nSortToDB=1\r\nQuerySleep=700\r\n");
        QTest::newRow("values replaced where they stand")
            << QByteArray(
                   "[SortQuery]\r\nQuerySleep=100\r\nSortToDB=1\r\n[Setting]\r\nThreadCount=5\r\n")
            << true << "300" << false << false
            << QByteArray("[SortQuery]\r\nQuerySleep=300\r\nSortToDB=0\r\n[Setting]\r\nThreadCount="
                          "5\r\nAllowHttps=0\r\nFollowRedirects=0\r\n");
        QTest::newRow("https and redirects ticked")
            << QByteArray() << false << "2000" << true << true
            << QByteArray("[SortQuery]\r\nSortToDB=1\r\nQuerySleep=2000\r\n[Setting]\r\n"
                          "AllowHttps=1\r\nFollowRedirects=1\r\n");
        QTest::newRow("redirects ticked, https unticked where they stand")
            << QByteArray("[Setting]\r\nFollowRedirects=0\r\nThreadCount=5\r\nAllowHttps=1\r\n")
            << false << "2000" << true << true
            << QByteArray("[Setting]\r\nFollowRedirects=1\r\nThreadCount=5\r\nAllowHttps=0\r\n"
                          "[SortQuery]\r\nSortToDB=1\r\nQuerySleep=2000\r\n");
    }

    void settingsOkWritesAndStaysOpen() {
        QFETCH(QByteArray, before);
        QFETCH(bool, untick);
        QFETCH(QString, pause);
        QFETCH(bool, toggleHttps);
        QFETCH(bool, toggleFollow);
        QFETCH(QByteArray, after);
        ProgramDir program;
        if (!before.isEmpty())
            QVERIFY(writeFileBytes(program.file("Setting.ini"), before));
        TMainForm form(program.dir.path());
        form.show();
        bool stayedOpen = false;
        QByteArray written;
        ModalDriver driver([&](QDialog* dialog) {
            if (toggleHttps)
                QTest::mouseClick(findControl<QCheckBox>(dialog, "AllowHttps"), Qt::LeftButton);
            if (toggleFollow)
                QTest::mouseClick(findControl<QCheckBox>(dialog, "FollowRedirects"),
                                  Qt::LeftButton);
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 1);
            if (untick)
                QTest::mouseClick(findControl<QCheckBox>(dialog, "SortToDB"), Qt::LeftButton);
            typeInto(findControl<QSpinBox>(dialog, "QuerySleep"), pause);
            click(dialog, "OKButton");
            stayedOpen = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            written = readFileBytes(program.file("Setting.ini"));
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(driver.ran());
        QVERIFY(!driver.leftOpen());
        QVERIFY(stayedOpen);
        QCOMPARE(written, after);
        QCOMPARE(readFileBytes(program.file("Setting.ini")), after);
    }

    void settingsDiscardedOnClose_data() {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("退出") << true;
        QTest::newRow("close box") << false;
    }

    void settingsDiscardedOnClose() {
        QFETCH(bool, byButton);
        ProgramDir program;
        QVERIFY(writeFileBytes(program.file("Setting.ini"), kStoredSettings));
        TMainForm form(program.dir.path());
        form.show();
        ModalDriver changeAndClose([&](QDialog* dialog) {
            QTest::mouseClick(findControl<QCheckBox>(dialog, "AllowHttps"), Qt::LeftButton);
            QTest::mouseClick(findControl<QCheckBox>(dialog, "FollowRedirects"), Qt::LeftButton);
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 1);
            QTest::mouseClick(findControl<QCheckBox>(dialog, "SortToDB"), Qt::LeftButton);
            typeInto(findControl<QSpinBox>(dialog, "QuerySleep"), "123");
            if (byButton)
                click(dialog, "QuitButton");
            else
                dialog->close();
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(changeAndClose.ran());
        QVERIFY(!changeAndClose.leftOpen());
        QCOMPARE(readFileBytes(program.file("Setting.ini")), kStoredSettings);

        // The next opening is a new dialog that shows the file, not the discarded edits.
        bool store = false;
        QString pause;
        bool sendSwitches = true;
        ModalDriver look([&](QDialog* dialog) {
            store = findControl<QCheckBox>(dialog, "SortToDB")->isChecked();
            pause = findControl<QSpinBox>(dialog, "QuerySleep")->text();
            sendSwitches = findControl<QCheckBox>(dialog, "AllowHttps")->isChecked() ||
                           findControl<QCheckBox>(dialog, "FollowRedirects")->isChecked();
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(look.ran());
        QVERIFY(store);
        QCOMPARE(pause, QStringLiteral("700"));
        QVERIFY(!sendSwitches);
    }

    void settingsRefusedWrite() {
        ProgramDir program;
        TMainForm form(program.dir.path());
        form.show();
        QList<MessageBox::Shown> boxes;
        bool stayedOpen = false;
        ModalDriver driver([&](QDialog* dialog) {
            // A folder in the file's place refuses the write even to root.
            QVERIFY(QDir(program.dir.path()).mkdir("Setting.ini"));
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 1);
            QTest::mouseClick(findControl<QCheckBox>(dialog, "SortToDB"), Qt::LeftButton);
            typeInto(findControl<QSpinBox>(dialog, "QuerySleep"), "500");
            click(dialog, "OKButton");
            boxes = MessageBox::takeShown();
            stayedOpen = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(driver.ran());
        QVERIFY(!driver.leftOpen());
        // One box: the first write failed and the second was not tried.
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].kind == MessageBox::Kind::Error);
        QCOMPARE(boxes[0].text,
                 QStringLiteral("Unable to write to %1.").arg(program.file("Setting.ini")));
        QVERIFY(stayedOpen);
        // Nothing half-written is left beside or inside it.
        QVERIFY(QFileInfo(program.file("Setting.ini")).isDir());
        // The engine table, read again once the dialog is closed, meets the folder as well.
        const QList<MessageBox::Shown> after = MessageBox::takeShown();
        QCOMPARE(after.size(), 1);
        QCOMPARE(after[0].text, QStringLiteral("Cannot read the settings file %1: it is a folder.")
                                    .arg(program.file("Setting.ini")));
        QCOMPARE(QDir(program.file("Setting.ini"))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
        QCOMPARE(program.entries(), (QStringList{"Setting.ini", "Url.txt"}));
    }

    // For the documentation: set MT_SCREENSHOT_DIR to a folder to get the pictures.
    void screenshots() {
        const QString out = qEnvironmentVariable("MT_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("MT_SCREENSHOT_DIR is not set");
        QVERIFY(QDir().mkpath(out));
        ProgramDir program;
        QVERIFY(writeFileBytes(program.file("Url.txt"),
                               QByteArray("example.com\r\nwww.example.com\r\nblog.example.com/"
                                          "news\r\n") +
                                   kGbkChinese + ".com\r\n"));
        TMainForm form(program.dir.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        statusLine(form).SetStatusText(kGbkDone);
        QVERIFY(form.grab().save(out + "/main-send.png"));
        rankTab(form).StoreRank("example.com", "seo \xD3\xC5\xBB\xAF", 0, 7);          // seo 优化
        rankTab(form).StoreRank("www.example.com", "\xB9\xD8\xBC\xFC\xB4\xCA", 1, 23); // 关键词
        rankTab(form).StoreRank(std::string(kGbkChinese) + ".com", "\xCD\xF8\xD5\xBE", 2,
                                0); // 网站
        clickTab(findControl<QTabWidget>(&form, "SEOPageControl"), 1);
        // The grid's scroll bars follow its new columns in the next round of events.
        drainEvents();
        QVERIFY(form.grab().save(out + "/main-rank.png"));

        bool saved = false;
        ModalDriver settings([&](QDialog* dialog) {
            saved = dialog->grab().save(out + "/settings-send.png");
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 1);
            saved = dialog->grab().save(out + "/settings.png") && saved;
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(settings.ran());
        QVERIFY(saved);

        saved = false;
        ModalDriver about([&](QDialog* dialog) {
            saved = dialog->grab().save(out + "/about.png");
            click(dialog, "OKButton");
        });
        triggerMenu(form, "AboutMenu");
        QVERIFY(about.ran());
        QVERIFY(saved);
    }
};

std::unique_ptr<QObject> makeDialogsTest() {
    return std::make_unique<DialogsTest>();
}

#include "dialogs_test.moc"
