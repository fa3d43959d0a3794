#include "app/aboutform.h"
#include "app/mainform.h"
#include "app/messagebox.h"
#include "app/qttranslations.h"
#include "app/settingform.h"
#include "core/settingkeys.h"
#include "testsupport.h"
#include "windowparts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
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

// ASCII key by key; anything else through the input method, as Chinese arrives.
void typeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x7F;
    if (ascii) {
        QTest::keyClicks(edit, text);
        return;
    }
    QInputMethodEvent typed;
    typed.setCommitString(text);
    QCoreApplication::sendEvent(edit, &typed);
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

// What "确定" writes beside the first four settings when every control shows its default.
const QByteArray kRankRest = "Depth=500\r\nPageSize=10\r\nPageTimeout=60\r\nVerificationWait=0\r\n";
const QByteArray kDatabase = "[Database]\r\nUrl=\r\nPassword=\r\nLeaseSeconds=600\r\n";

// "确定" with every control at its default, into no file: each key in its section.
const QByteArray kDefaultsWritten = "[SortQuery]\r\nSortToDB=1\r\nQuerySleep=2000\r\n" + kRankRest +
                                    "[Setting]\r\nAllowHttps=0\r\nFollowRedirects=0\r\n"
                                    "FetchTimeLimit=60\r\n" +
                                    kDatabase;

// The page of the dialog that holds a control.
int pageOf(QDialog* dialog, QWidget* control) {
    auto* pages = findControl<QTabWidget>(dialog, "PageControl1");
    for (int i = 0; i < pages->count(); ++i)
        if (pages->widget(i)->isAncestorOf(control))
            return i;
    return -1;
}

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

    // "设置" is in the menu, and choosing it opens the dialog.
    void settingsFromTheMenu() {
        ProgramDir program;
        TMainForm form(program.dir.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.findChild<QAction*>("SettingMenu")->isVisible());
        bool isSettings = false;
        ModalDriver driver([&](QDialog* dialog) {
            isSettings = qobject_cast<TSettingForm*>(dialog) != nullptr;
            click(dialog, "QuitButton");
        });
        chooseMenuItem(form, QStringLiteral("设置"));
        QVERIFY(driver.ran());
        QVERIFY(isSettings);
        QVERIFY(!driver.leftOpen());
        QCOMPARE(readFileBytes(program.file("Setting.ini")), QByteArray("<missing>"));
    }

    // Each spin edit takes the range its key's values are brought into, so a value outside it
    // cannot be typed.
    void settingsSpinRanges() {
        ProgramDir program;
        TMainForm form(program.dir.path());
        form.show();
        const struct {
            const char* control;
            const IntSetting& setting;
        } spins[] = {
            {"FetchTimeLimit", Settings::FetchTimeLimit},
            {"QuerySleep", Settings::QuerySleep},
            {"Depth", Settings::Depth},
            {"PageSize", Settings::PageSize},
            {"PageTimeout", Settings::PageTimeout},
            {"VerificationWait", Settings::VerificationWait},
            {"LeaseSeconds", Settings::ClaimLease},
        };
        int checked = 0;
        ModalDriver driver([&](QDialog* dialog) {
            for (const auto& spin : spins) {
                auto* box = findControl<QSpinBox>(dialog, spin.control);
                QCOMPARE(box->minimum(), spin.setting.min);
                QCOMPARE(box->maximum(), spin.setting.max);
                QCOMPARE(box->value(), spin.setting.defaultValue);
                ++checked;
            }
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(driver.ran());
        QCOMPARE(checked, int(std::size(spins)));
    }

    // Every setting of the dialog, changed on its page, is written by "确定" and shown by the
    // next opening. A typed value beyond a field's range never reaches the file.
    void settingsRoundTrip_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed"); // a check box is clicked instead
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("shown"); // a check box: 1 ticked, 0 not
        QTest::newRow("https templates") << "AllowHttps"
                                         << "" << QByteArray("AllowHttps=1") << "1";
        QTest::newRow("redirects") << "FollowRedirects"
                                   << "" << QByteArray("FollowRedirects=1") << "1";
        QTest::newRow("fetch time limit") << "FetchTimeLimit"
                                          << "120" << QByteArray("FetchTimeLimit=120") << "120";
        QTest::newRow("fetch time limit beyond an hour: the last digit is refused")
            << "FetchTimeLimit"
            << "36000" << QByteArray("FetchTimeLimit=3600") << "3600";
        QTest::newRow("fetch time limit of 0 becomes 1")
            << "FetchTimeLimit"
            << "0" << QByteArray("FetchTimeLimit=1") << "1";
        QTest::newRow("storing off") << "SortToDB"
                                     << "" << QByteArray("SortToDB=0") << "0";
        QTest::newRow("pause") << "QuerySleep"
                               << "500" << QByteArray("QuerySleep=500") << "500";
        QTest::newRow("depth") << "Depth"
                               << "50" << QByteArray("Depth=50") << "50";
        QTest::newRow("depth beyond 1000") << "Depth"
                                           << "1500" << QByteArray("Depth=150") << "150";
        QTest::newRow("page size") << "PageSize"
                                   << "50" << QByteArray("PageSize=50") << "50";
        QTest::newRow("page size beyond 100") << "PageSize"
                                              << "500" << QByteArray("PageSize=50") << "50";
        QTest::newRow("page time-out") << "PageTimeout"
                                       << "30" << QByteArray("PageTimeout=30") << "30";
        QTest::newRow("verification wait") << "VerificationWait"
                                           << "120" << QByteArray("VerificationWait=120") << "120";
        QTest::newRow("shared database")
            << "DatabaseUrl"
            << "postgresql://moting@db.example.lan:5432/moting"
            << QByteArray("Url=postgresql://moting@db.example.lan:5432/moting")
            << "postgresql://moting@db.example.lan:5432/moting";
        QTest::newRow("blanks around the address dropped")
            << "DatabaseUrl"
            << "  postgres://u@h/d?sslmode=require "
            << QByteArray("Url=postgres://u@h/d?sslmode=require")
            << "postgres://u@h/d?sslmode=require";
        QTest::newRow("password") << "DatabasePassword"
                                  << "s3cret" << QByteArray("Password=s3cret") << "s3cret";
        QTest::newRow("password with blanks around")
            << "DatabasePassword"
            << " pass word " << QByteArray("Password=\" pass word \"") << " pass word ";
        QTest::newRow("Chinese password in GBK")
            << "DatabasePassword"
            << "密码" << QByteArray("Password=\xC3\xDC\xC2\xEB") << "密码";
        QTest::newRow("lease") << "LeaseSeconds"
                               << "86400" << QByteArray("LeaseSeconds=86400") << "86400";
        QTest::newRow("negative lease: no sign taken")
            << "LeaseSeconds"
            << "-900" << QByteArray("LeaseSeconds=900") << "900";
        QTest::newRow("lease below 5 becomes 5") << "LeaseSeconds"
                                                 << "3" << QByteArray("LeaseSeconds=5") << "5";
    }

    void settingsRoundTrip() {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QByteArray, line);
        QFETCH(QString, shown);
        ProgramDir program;
        TMainForm form(program.dir.path());
        form.show();
        const QByteArray name = control.toLatin1();
        QByteArray written;
        ModalDriver change([&](QDialog* dialog) {
            auto* field = findControl<QWidget>(dialog, name.constData());
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), pageOf(dialog, field));
            QVERIFY(field->isVisible());
            QVERIFY(!field->toolTip().isEmpty() || qobject_cast<QCheckBox*>(field));
            if (auto* box = qobject_cast<QCheckBox*>(field))
                QTest::mouseClick(box, Qt::LeftButton);
            else if (auto* spin = qobject_cast<QSpinBox*>(field))
                typeInto(spin, typed);
            else
                typeInto(qobject_cast<QLineEdit*>(field), typed);
            click(dialog, "OKButton");
            written = readFileBytes(program.file("Setting.ini"));
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(change.ran());
        QVERIFY(!change.leftOpen());
        // Every control is written; this one's line differs from the defaults.
        QByteArray expected = kDefaultsWritten;
        const qsizetype at = expected.indexOf("\r\n" + line.left(line.indexOf('=') + 1));
        QVERIFY(at >= 0);
        expected.replace(at + 2, expected.indexOf("\r\n", at + 2) - at - 2, line);
        QCOMPARE(written, expected);
        QCOMPARE(MessageBox::takeShown().size(), 0);

        QString shownNext;
        ModalDriver look([&](QDialog* dialog) {
            auto* field = findControl<QWidget>(dialog, name.constData());
            if (auto* box = qobject_cast<QCheckBox*>(field))
                shownNext = box->isChecked() ? "1" : "0";
            else if (auto* spin = qobject_cast<QSpinBox*>(field))
                shownNext = spin->text();
            else
                shownNext = qobject_cast<QLineEdit*>(field)->text();
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(look.ran());
        QCOMPARE(shownNext, shown);
    }

    // A database address that cannot be used is refused before anything is written.
    void settingsBadAddressRefused_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        const QString password = QStringLiteral("数据库地址中不能含密码，请把密码填在“密码”一栏。");
        const QString form = QStringLiteral("数据库地址应为 postgresql://用户@主机:端口/数据库名 "
                                            "的形式；留空即使用程序文件夹中的 Sort.mdb。");
        QTest::newRow("password in the address") << "postgresql://u:secret@h/d" << password;
        QTest::newRow("password in the query") << "postgresql://u@h/d?Password=x" << password;
        QTest::newRow("connection string")
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=Sort.mdb"
            << QStringLiteral("数据库地址不能是连接字符串。留空即使用程序文件夹中的 Sort.mdb；"
                              "共享数据库请填写 postgresql://用户@主机:端口/数据库名。");
        QTest::newRow("another kind of database") << "mysql://u@h/d" << form;
        QTest::newRow("a host alone") << "db.example.lan" << form;
    }

    void settingsBadAddressRefused() {
        QFETCH(QString, address);
        QFETCH(QString, message);
        ProgramDir program;
        QVERIFY(writeFileBytes(program.file("Setting.ini"), kStoredSettings));
        TMainForm form(program.dir.path());
        form.show();
        QList<MessageBox::Shown> boxes;
        QString page;
        bool stayedOpen = false;
        ModalDriver driver([&](QDialog* dialog) {
            // The address typed, then another setting changed on another page.
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 2);
            typeInto(findControl<QLineEdit>(dialog, "DatabaseUrl"), address);
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 1);
            QTest::mouseClick(findControl<QCheckBox>(dialog, "SortToDB"), Qt::LeftButton);
            click(dialog, "OKButton");
            boxes = MessageBox::takeShown();
            page = findControl<QTabWidget>(dialog, "PageControl1")->currentWidget()->objectName();
            stayedOpen = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(driver.ran());
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].kind == MessageBox::Kind::Information);
        QCOMPARE(boxes[0].text, message);
        // The field is shown, and nothing was written.
        QCOMPARE(page, QStringLiteral("TabSheet3"));
        QVERIFY(stayedOpen);
        QCOMPARE(readFileBytes(program.file("Setting.ini")), kStoredSettings);
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
        const QByteArray sendOff =
            "[Setting]\r\nAllowHttps=0\r\nFollowRedirects=0\r\nFetchTimeLimit=60\r\n";
        QTest::newRow("untick and 500")
            << QByteArray() << true << "500" << false << false
            << QByteArray("[SortQuery]\r\nSortToDB=0\r\nQuerySleep=500\r\n") + kRankRest + sendOff +
                   kDatabase;
        QTest::newRow("emptied pause writes 0")
            << QByteArray() << false << "" << false << false
            << QByteArray("[SortQuery]\r\nSortToDB=1\r\nQuerySleep=0\r\n") + kRankRest + sendOff +
                   kDatabase;
        // The field takes no pause beyond an hour: the last digit is refused.
        QTest::newRow("pause beyond an hour")
            << QByteArray() << false << "4000000" << false << false
            << QByteArray("[SortQuery]\r\nSortToDB=1\r\nQuerySleep=400000\r\n") + kRankRest +
                   sendOff + kDatabase;
        QTest::newRow("section added after the send settings")
            << QByteArray("[Setting]\r\nThreadCount=5\r\nSendCount=3\r\n") << false << "700"
            << false << false
            << QByteArray("[Setting]\r\nThreadCount=5\r\nSendCount=3\r\nAllowHttps=0\r\n"
                          "FollowRedirects=0\r\nFetchTimeLimit=60\r\n[SortQuery]\r\nSortToDB=1\r\n"
                          "QuerySleep=700\r\n") +
                   kRankRest + kDatabase;
        QTest::newRow("values replaced where they stand")
            << QByteArray(
                   "[SortQuery]\r\nQuerySleep=100\r\nSortToDB=1\r\n[Setting]\r\nThreadCount=5\r\n")
            << true << "300" << false << false
            << QByteArray("[SortQuery]\r\nQuerySleep=300\r\nSortToDB=0\r\n") + kRankRest +
                   "[Setting]\r\nThreadCount=5\r\nAllowHttps=0\r\nFollowRedirects=0\r\n"
                   "FetchTimeLimit=60\r\n" +
                   kDatabase;
        QTest::newRow("https and redirects ticked")
            << QByteArray() << false << "2000" << true << true
            << QByteArray("[SortQuery]\r\nSortToDB=1\r\nQuerySleep=2000\r\n") + kRankRest +
                   "[Setting]\r\nAllowHttps=1\r\nFollowRedirects=1\r\nFetchTimeLimit=60\r\n" +
                   kDatabase;
        QTest::newRow("redirects ticked, https unticked where they stand")
            << QByteArray("[Setting]\r\nFollowRedirects=0\r\nThreadCount=5\r\nAllowHttps=1\r\n")
            << false << "2000" << true << true
            << QByteArray("[Setting]\r\nFollowRedirects=1\r\nThreadCount=5\r\nAllowHttps=0\r\n"
                          "FetchTimeLimit=60\r\n[SortQuery]\r\nSortToDB=1\r\nQuerySleep=2000\r\n") +
                   kRankRest + kDatabase;
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
            typeInto(findControl<QSpinBox>(dialog, "Depth"), "50");
            typeInto(findControl<QSpinBox>(dialog, "FetchTimeLimit"), "9");
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 2);
            typeInto(findControl<QLineEdit>(dialog, "DatabaseUrl"), "postgresql://u@h/d");
            typeInto(findControl<QLineEdit>(dialog, "DatabasePassword"), "secret");
            typeInto(findControl<QSpinBox>(dialog, "LeaseSeconds"), "60");
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
        QStringList others;
        ModalDriver look([&](QDialog* dialog) {
            store = findControl<QCheckBox>(dialog, "SortToDB")->isChecked();
            pause = findControl<QSpinBox>(dialog, "QuerySleep")->text();
            for (const char* spin : {"Depth", "FetchTimeLimit", "LeaseSeconds"})
                others << findControl<QSpinBox>(dialog, spin)->text();
            for (const char* edit : {"DatabaseUrl", "DatabasePassword"})
                others << findControl<QLineEdit>(dialog, edit)->text();
            sendSwitches = findControl<QCheckBox>(dialog, "AllowHttps")->isChecked() ||
                           findControl<QCheckBox>(dialog, "FollowRedirects")->isChecked();
            click(dialog, "QuitButton");
        });
        triggerMenu(form, "SettingMenu");
        QVERIFY(look.ran());
        QVERIFY(store);
        QCOMPARE(pause, QStringLiteral("700"));
        QVERIFY(!sendSwitches);
        QCOMPARE(others, (QStringList{"500", "60", "600", "", ""}));
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

    // Qt's standard buttons and file dialogs speak the system's language where Qt has a
    // translation for it, else Chinese.
    void qtDialogsSpeakTheUsersLanguage_data() {
        QTest::addColumn<QString>("system"); // "C": no language
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("ok");
        QTest::addColumn<QString>("cancel");
        QTest::addColumn<QString>("open"); // the file dialog's button
        QTest::newRow("no language: Chinese") << "C"
                                              << "zh_CN"
                                              << "确定"
                                              << "取消"
                                              << "打开(&O)";
        QTest::newRow("Simplified Chinese") << "zh_CN"
                                            << "zh_CN"
                                            << "确定"
                                            << "取消"
                                            << "打开(&O)";
        QTest::newRow("Traditional Chinese") << "zh_TW"
                                             << "zh_TW"
                                             << "確定"
                                             << "取消"
                                             << "開啟(&O)";
        QTest::newRow("German") << "de_DE"
                                << "de"
                                << "OK"
                                << "Abbrechen"
                                << "&Öffnen";
        QTest::newRow("English") << "en_US"
                                 << "en"
                                 << "OK"
                                 << "Cancel"
                                 << "&Open";
        QTest::newRow("a language Qt lacks: Chinese") << "sw_KE"
                                                      << "zh_CN"
                                                      << "确定"
                                                      << "取消"
                                                      << "打开(&O)";
    }

    void qtDialogsSpeakTheUsersLanguage() {
        QFETCH(QString, system);
        QFETCH(QString, language);
        QFETCH(QString, ok);
        QFETCH(QString, cancel);
        QFETCH(QString, open);
        // The program started in the language of this machine's locale; so it ends.
        const auto restore = qScopeGuard([] { installQtTranslations(QLocale::system()); });
        if (QLocale::system().language() == QLocale::C)
            QCOMPARE(QMessageBox(QMessageBox::Question, {}, {}, QMessageBox::Cancel)
                         .button(QMessageBox::Cancel)
                         ->text(),
                     QStringLiteral("取消"));

        QCOMPARE(installQtTranslations(system == "C" ? QLocale::c() : QLocale(system)), language);
        QMessageBox box(QMessageBox::Question, {}, {}, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Ok)->text(), ok);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), cancel);
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), ok);
        QFileDialog files;
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setFileMode(QFileDialog::ExistingFile);
        QCOMPARE(findControl<QDialogButtonBox>(&files, "buttonBox")
                     ->button(QDialogButtonBox::Open)
                     ->text(),
                 open);
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
            clickTab(findControl<QTabWidget>(dialog, "PageControl1"), 2);
            saved = dialog->grab().save(out + "/settings-database.png") && saved;
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
