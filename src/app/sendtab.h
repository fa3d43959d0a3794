#pragma once

#include "sender/sendreport.h"

#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>

class Dispenser;
class IniFile;
class QProgressBar;
class QStatusBar;
class QTimer;
class SendRun;
class SiteList;
class SiteListEditor;
class StatusLine;
namespace Ui {
class SendTab;
}

// "外链群发": the site list, the run's settings and the send run with its progress bar.
class SendTab : public QWidget {
    Q_OBJECT

public:
    // The progress bar goes into statusBar; status receives the workers' texts.
    SendTab(const QString& programDir, IniFile& settings, StatusLine& status, QStatusBar& statusBar,
            QWidget* parent = nullptr);
    ~SendTab() override;

    void LoadSendSettings();
    void SaveSendSettings();
    bool isRunning() const { return m_run != nullptr; }
    // The window closes: a run under way ends and its workers are joined.
    void stop();

    // Adds the site typed (or the lines pasted) into Url; Enter in Url does the same.
    void AddUrlButtonClick();
    void StartButtonClick();
    // "停止": the run under way ends as its workers give up what they fetch; what is logged
    // stays.
    void stopButtonClick();
    void QuitButtonClick();
    // "清理失效模板": the templates that failed for every site in the last run leave "SL.txt".
    void cleanTemplatesMenuClick();

private:
    // The site list's edits wait while a run uses it; the buttons follow the run.
    void setRunning(bool running);
    void sendRunFinished();
    void showSendProgress();

    std::unique_ptr<Ui::SendTab> ui;
    QString ProgramDir;
    IniFile& SettingsFile;
    StatusLine& m_status;
    QProgressBar* m_progressPanel = nullptr;
    QTimer* m_progressTimer = nullptr;
    QElapsedTimer m_sendElapsed;
    // The last send run's account and how it ended, for "清理失效模板"; cleaned once its dead
    // templates have left "SL.txt".
    struct LastRun {
        SendReport report;
        SendEnd end = SendEnd::Finished;
        bool cleaned = false;
    };
    std::optional<LastRun> m_lastRun;
    SiteList* m_sites = nullptr;
    SiteListEditor* m_siteEditor = nullptr;
    // The passes as the spin edit shows them, for workers, which must not touch a widget.
    std::atomic<int> m_sendCount{2};
    // Holds the templates and DispenserLock.
    std::unique_ptr<Dispenser> m_dispenser;
    long long m_jobTotal = 0;
    // Ended first when the tab goes, so its workers stop before what they use is freed.
    std::unique_ptr<SendRun> m_run;
};
