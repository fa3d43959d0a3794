#include "app/mainform.h"

#include "app/aboutform.h"
#include "app/application.h"
#include "app/messagebox.h"
#include "app/opendialog.h"
#include "app/ranktab.h"
#include "app/sendtab.h"
#include "app/settingform.h"
#include "app/statusline.h"
#include "core/datafiles.h"
#include "core/datafolder.h"
#include "core/settingkeys.h"
#include "core/version.h"
#include "rank/engines.h"
#include "text/apperror.h"
#include "text/inifile.h"
#include "ui_mainform.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QTimer>

bool settingsUsable(const QString& programDir) {
    try {
        IniFile(QDir(programDir).absoluteFilePath(DataFiles::Settings)).check();
        return true;
    } catch (const AppError& e) {
        reportError(e.message());
        return false;
    }
}

TMainForm::TMainForm(const QString& programDir, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    // The program's text size, its menus and message boxes included. Said in a style sheet, it
    // would take every widget through Qt's style-sheet style, which costs the start 6 ms.
    QFont font14 = QApplication::font();
    font14.setPixelSize(14);
    QApplication::setFont(font14);
    ui->setupUi(this);
    m_status = new StatusLine(this);
    ui->StatusBar->addWidget(m_status, 1);
    ui->StatusBar->setSizeGripEnabled(false);

    FormCreate(programDir);

    connectReported(ui->SEOPageControl, &QTabWidget::currentChanged, this, &TMainForm::pageChanged);
    connect(m_rankTab, &RankTab::showRequested, ui->SEOPageControl,
            [this] { ui->SEOPageControl->setCurrentWidget(m_rankTab); });
    connectReported(ui->SettingMenu, &QAction::triggered, this, &TMainForm::SettingMenuClick);
    connectReported(ui->AboutMenu, &QAction::triggered, this, &TMainForm::AboutMenuClick);
    connectReported(ui->CleanTemplatesMenu, &QAction::triggered, m_sendTab,
                    &SendTab::cleanTemplatesMenuClick);

    // The designed size (the form's) is the smallest; a larger window gives the lists and grids
    // the room. The tab widget's own hint asks 2 pixels more than its pages need, and only once
    // its style has settled, so it is not taken.
    const QSize designed = size();
    setMinimumSize(designed);
    resize(designed);
    move(583, 147);
    runReported([this] {
        restoreGeometry();
        restoreTab();
    });
    // Said once the window is there to say it over.
    QTimer::singleShot(0, this, [this] { runReported([this] { showSettingsWarnings(); }); });
}

void TMainForm::showSettingsWarnings() {
    QStringList warnings = settingsWarnings(*SettingsFile);
    try {
        warnings += engineTableWarnings(*SettingsFile);
    } catch (const AppError&) {
        // The rank tab says what is wrong with the engine table.
    }
    if (!warnings.isEmpty())
        MessageBox::warning(this, QStringLiteral("Setting.ini 中以下数值未按原样使用:\n") +
                                      warnings.join(QStringLiteral(".\n")) + QLatin1Char('.'));
}

TMainForm::~TMainForm() {
    // FormDestroy: a run still going is stopped and its workers joined before anything they
    // use goes. A tab that leaves brings up another, which must not show anything any more.
    ui->SEOPageControl->blockSignals(true);
    delete m_sendTab;
    delete m_rankTab;
}

void TMainForm::FormCreate(const QString& programDir) {
    ProgramDir = QDir(programDir.isEmpty() ? defaultDataFolder() : programDir).absolutePath() +
                 QLatin1Char('/');
    setWindowTitle(kAppTitle + QStringLiteral(MT_FILE_VERSION));
    SettingsFile = std::make_unique<IniFile>(ProgramDir + DataFiles::Settings);
    m_sendTab = new SendTab(ProgramDir, *SettingsFile, *m_status, *ui->StatusBar);
    m_rankTab = new RankTab(ProgramDir, *SettingsFile, *m_status, *ui->StatusBar);
    ui->SEOPageControl->insertTab(0, m_sendTab, m_sendTab->windowTitle());
    ui->SEOPageControl->insertTab(1, m_rankTab, m_rankTab->windowTitle());
    // A tab that exists for the browser pages and is never shown.
    ui->SEOPageControl->setTabVisible(ui->SEOPageControl->indexOf(ui->StaTabSheet), false);
    ui->SEOPageControl->setCurrentIndex(0);
    // No statistics page is visited: the program sends nothing anywhere at start-up.
}

// Size and place as the window was left, when that fits a screen.
void TMainForm::restoreGeometry() {
    const int width = Settings::WindowWidth.read(*SettingsFile);
    const int height = Settings::WindowHeight.read(*SettingsFile);
    if (width <= 0 || height <= 0)
        return;
    const QRect place(Settings::WindowLeft.readOr(*SettingsFile, x()),
                      Settings::WindowTop.readOr(*SettingsFile, y()), width, height);
    resize(place.size().expandedTo(minimumSize()));
    if (QGuiApplication::screenAt(place.center()))
        move(place.topLeft());
    if (Settings::WindowMaximized.read(*SettingsFile))
        setWindowState(windowState() | Qt::WindowMaximized);
}

// The tab the window was left on.
void TMainForm::restoreTab() {
    ui->SEOPageControl->setCurrentIndex(Settings::WindowTab.readInRange(*SettingsFile));
}

void TMainForm::saveGeometry() {
    // A window that was never shown has nothing to remember.
    if (!isVisible())
        return;
    const QRect place = isMaximized() ? normalGeometry() : geometry();
    Settings::WindowLeft.write(*SettingsFile, place.x());
    Settings::WindowTop.write(*SettingsFile, place.y());
    Settings::WindowWidth.write(*SettingsFile, place.width());
    Settings::WindowHeight.write(*SettingsFile, place.height());
    Settings::WindowMaximized.write(*SettingsFile, isMaximized());
    Settings::WindowTab.write(*SettingsFile, ui->SEOPageControl->currentIndex() == 1 ? 1 : 0);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A send run is the user's to end: closing stops it, so he is asked; Cancel keeps both.
    if (m_sendTab->isRunning() &&
        MessageBox::confirm(this, QStringLiteral("群发正在进行，关闭窗口将停止群发（已写入的日志"
                                                 "保留）。确定要关闭吗？")) !=
            MessageBox::Answer::Ok) {
        event->ignore();
        return;
    }
    // A settings file that refuses the write is said; the window closes all the same.
    runReported([this] { saveGeometry(); });
    FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    m_rankTab->windowClosed();
    m_sendTab->stop();
}

void TMainForm::pageChanged() {
    if (ui->SEOPageControl->currentWidget() == m_rankTab)
        m_rankTab->QuerySortTabSheetShow();
}

void TMainForm::SettingMenuClick() {
    openDialog<TSettingForm>(this, QStringLiteral("SettingForm"), *SettingsFile);
    m_rankTab->loadEngines();
}

void TMainForm::AboutMenuClick() {
    openDialog<TAboutForm>(this, QStringLiteral("AboutForm"));
}
