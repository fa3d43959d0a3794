#pragma once

#include "inifile.h"
#include "statussink.h"

#include <QMainWindow>
#include <memory>
#include <mutex>
#include <optional>

class QLabel;
class QStringListModel;
namespace Ui {
class TMainForm;
}

// The main window: the tabs "外链群发" and "排名查询", the status line and the menu.
class TMainForm : public QMainWindow, public StatusSink {
    Q_OBJECT

public:
    // programDir: the folder of the program's files; empty means the executable's folder.
    explicit TMainForm(const QString& programDir = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Callable from any thread: a worker's text reaches the panel through the UI thread, and
    // texts that arrive faster than the window paints are coalesced to the newest.
    void SetStatusText(const Text& text) override;
    QString statusText() const;

    const QString& programDir() const { return ProgramDir; }
    IniFile& settingsFile() { return *SettingsFile; }
    bool stopRequested() const { return StopRequested; }

    void LoadSendSettings();
    void SaveSendSettings();

    void QuitButtonClick();
    void SettingMenuClick();
    void AboutMenuClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const QString& programDir);
    void FormClose();
    void applyPendingStatus();

    std::unique_ptr<Ui::TMainForm> ui;
    QLabel* m_statusPanel = nullptr;
    QStringListModel* m_siteModel = nullptr;

    QString ProgramDir;
    // What the rank database's data sets open.
    QString m_connectionString;
    std::unique_ptr<IniFile> SettingsFile;
    TextList Templates;
    std::recursive_mutex DispenserLock;
    std::recursive_mutex StatusLock;
    bool StopRequested = false;

    // Guarded by StatusLock: the newest worker text the UI has not shown yet.
    std::optional<Text> m_pendingStatus;
};
