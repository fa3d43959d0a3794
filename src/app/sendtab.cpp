#include "app/sendtab.h"

#include "app/application.h"
#include "app/messagebox.h"
#include "app/sitelisteditor.h"
#include "app/spinvalue.h"
#include "app/statusline.h"
#include "core/datafiles.h"
#include "core/settingkeys.h"
#include "sender/dispenser.h"
#include "sender/fetchsettings.h"
#include "sender/sendrun.h"
#include "sender/sitelist.h"
#include "sender/startrun.h"
#include "text/codepage.h"
#include "text/inifile.h"
#include "ui_sendtab.h"

#include <QDir>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

SendTab::SendTab(const QString& programDir, IniFile& settings, StatusLine& status,
                 QStatusBar& statusBar, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::SendTab>()), ProgramDir(programDir),
      SettingsFile(settings), m_status(status) {
    ui->setupUi(this);
    ui->ThreadCount->setRange(Settings::ThreadCount.min, Settings::ThreadCount.max);
    ui->SendCount->setRange(Settings::SendCount.min, Settings::SendCount.max);
    ui->ThreadCount->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    ui->SendCount->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);

    // A fixed size, so that a new text never lays out the status bar again; shown from the
    // first run on.
    m_progressPanel = new QProgressBar(&statusBar);
    m_progressPanel->setObjectName(QStringLiteral("ProgressPanel"));
    m_progressPanel->setFixedSize(240, 18);
    m_progressPanel->setRange(0, 1000);
    m_progressPanel->setTextVisible(true);
    m_progressPanel->setAlignment(Qt::AlignCenter);
    m_progressPanel->hide();
    statusBar.addPermanentWidget(m_progressPanel);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(250);
    connect(m_progressTimer, &QTimer::timeout, this, &SendTab::showSendProgress);

    m_sites = new SiteList(this);
    ui->UrlList->setModel(m_sites);
    m_siteEditor = new SiteListEditor(*m_sites, ProgramDir + DataFiles::Sites, *ui->UrlList,
                                      *ui->Url, m_status, this);
    m_dispenser = std::make_unique<Dispenser>(*m_sites, [this] { return m_sendCount.load(); });
    // Workers read the passes afresh at every step; they get them from here, never from the
    // widget. A text that is no number counts as the minimum.
    auto mirrorSendCount = [this] {
        m_sendCount = spinValue(ui->SendCount, ui->SendCount->minimum());
    };
    connect(ui->SendCount, &QSpinBox::textChanged, this, mirrorSendCount);

    connectReported(ui->AddUrlButton, &QPushButton::clicked, this, &SendTab::AddUrlButtonClick);
    connectReported(ui->Url, &QLineEdit::returnPressed, this, &SendTab::AddUrlButtonClick);
    connectReported(ui->StartButton, &QPushButton::clicked, this, &SendTab::StartButtonClick);
    connectReported(ui->StopButton, &QPushButton::clicked, this, &SendTab::stopButtonClick);
    connectReported(ui->QuitButton, &QPushButton::clicked, this, &SendTab::QuitButtonClick);

    runReported([this] { LoadSendSettings(); });
    mirrorSendCount();
    // A missing list is an empty one; a list that cannot be read is said.
    runReported([&] { m_sites->load(ProgramDir + DataFiles::Sites); });
}

SendTab::~SendTab() {
    // A run still going is stopped and its workers joined before anything they use goes.
    m_run.reset();
}

void SendTab::stop() {
    m_run.reset();
}

void SendTab::LoadSendSettings() {
    ui->ThreadCount->setValue(Settings::ThreadCount.read(SettingsFile));
    ui->SendCount->setValue(Settings::SendCount.read(SettingsFile));
}

void SendTab::SaveSendSettings() {
    const int threads = spinValue(ui->ThreadCount, ui->ThreadCount->minimum());
    const int passes = spinValue(ui->SendCount, ui->SendCount->minimum());
    Settings::ThreadCount.write(SettingsFile, threads);
    Settings::SendCount.write(SettingsFile, passes);
}

void SendTab::QuitButtonClick() {
    window()->close();
}

void SendTab::AddUrlButtonClick() {
    m_siteEditor->addFromField();
}

void SendTab::StartButtonClick() {
    // One run at a time: the button is off until "完成", this guards other ways in.
    if (m_run)
        return;
    SaveSendSettings();
    // Without a template there is nothing to send: the user is told what the file is and
    // where it goes, and the last run's log stays.
    const QString templates = ProgramDir + DataFiles::Templates;
    m_dispenser->LoadTemplates(templates);
    if (!m_dispenser->hasTemplates()) {
        MessageBox::warning(this, noTemplatesMessage(templates));
        return;
    }
    const int workers = spinValue(ui->ThreadCount, ui->ThreadCount->minimum());
    // https and redirects as the settings dialog left them.
    FetchOptions options;
    readFetchSettings(SettingsFile, options);
    m_run = startSendRun(ProgramDir, *m_sites, *m_dispenser, m_status, options, workers);
    m_jobTotal = m_dispenser->jobCount();
    setRunning(true);
    connect(m_run.get(), &SendRun::finished, this, &SendTab::sendRunFinished, Qt::QueuedConnection);
    m_sendElapsed.start();
    m_progressPanel->show();
    m_status.setPolled(true);
    showSendProgress();
    m_progressTimer->start();
}

void SendTab::stopButtonClick() {
    if (!m_run || m_run->isFinished())
        return;
    m_run->abort();
    ui->StopButton->setEnabled(false);
    m_status.SetStatusText(qStringToGbk(QStringLiteral("正在停止…")));
}

void SendTab::setRunning(bool running) {
    ui->StartButton->setEnabled(!running);
    ui->StopButton->setEnabled(running);
    m_siteEditor->setRunning(running);
}

void SendTab::sendRunFinished() {
    if (!m_run || !m_run->isFinished())
        return;
    showSendProgress();
    m_progressTimer->stop();
    m_status.setPolled(false);
    m_lastRun = LastRun{m_run->report(), m_run->end()};
    const QString runError = m_run->error();
    m_run.reset();
    setRunning(false);
    m_status.SetStatusText(qStringToGbk(sendSummary(m_lastRun->report, m_lastRun->end)));
    if (!runError.isEmpty())
        MessageBox::error(this, runError + QLatin1Char('.'));
}

void SendTab::showSendProgress() {
    m_status.applyPendingStatus();
    if (!m_run)
        return;
    const long long done = m_run->jobsDone();
    m_progressPanel->setValue(
        m_jobTotal > 0 ? static_cast<int>(std::min<long long>(done, m_jobTotal) * 1000 / m_jobTotal)
                       : 0);
    m_progressPanel->setFormat(::sendProgressText(done, m_jobTotal, m_sendElapsed.elapsed()));
}

void SendTab::cleanTemplatesMenuClick() {
    const QString path = ProgramDir + DataFiles::Templates;
    if (m_run) {
        MessageBox::information(this, QStringLiteral("群发进行中，请在完成后再清理。"));
        return;
    }
    if (!m_lastRun) {
        MessageBox::information(this,
                                QStringLiteral("还没有群发过：群发一次后，才知道哪些模板失效。"));
        return;
    }
    // A template that failed for the sites it reached may still work for the others.
    if (m_lastRun->end != SendEnd::Finished) {
        MessageBox::information(this, QStringLiteral("上次群发没有做完（%1），不知道哪些模板对"
                                                     "所有网址都失败；请完整群发一次后再清理。")
                                          .arg(sendEndWord(m_lastRun->end)));
        return;
    }
    if (m_lastRun->cleaned) {
        MessageBox::information(this, QStringLiteral("上次群发的失效模板已经清理过了。"));
        return;
    }
    const size_t dead = m_lastRun->report.deadLines().size();
    if (dead == 0) {
        MessageBox::information(this, QStringLiteral("上次群发没有失效的模板。"));
        return;
    }
    if (MessageBox::confirm(this,
                            QStringLiteral("从 %1 删除上次群发中对所有网址都失败的 %2 个模板？"
                                           "原文件将保存为 SL.txt.bak。")
                                .arg(QDir::toNativeSeparators(path))
                                .arg(dead)) != MessageBox::Answer::Ok)
        return;
    const int removed = removeDeadTemplates(path, m_lastRun->report);
    // The lines the file no longer holds as they were are gone all the same.
    m_lastRun->cleaned = true;
    m_status.SetStatusText(qStringToGbk(cleanedSummary(m_lastRun->report, removed)));
    if (removed == 0) {
        MessageBox::information(this, QStringLiteral("SL.txt 在群发后改过，已没有上次失效的模板；"
                                                     "文件没有改动。"));
        return;
    }
    MessageBox::information(
        this, QStringLiteral("已删除 %1 个失效模板；原文件保存为 SL.txt.bak。").arg(removed));
}
