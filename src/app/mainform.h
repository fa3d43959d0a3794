#pragma once

#include <QMainWindow>
#include <memory>

class IniFile;
class RankTab;
class SendTab;
class StatusLine;
namespace Ui {
class TMainForm;
}

// Whether the settings file of the folder can be used; when it is there but cannot be read,
// the error box says so and no window should start: going on with the built-in values would
// query other engines, or use another database, than the file names.
bool settingsUsable(const QString& programDir);

// The main window: the tabs "外链群发" and "排名查询", the status line and the menu.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // programDir: the folder of the program's files; empty means the executable's folder.
    explicit TMainForm(const QString& programDir = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const QString& programDir);
    void restoreGeometry();
    void restoreTab();
    void showSettingsWarnings();
    void saveGeometry();
    void FormClose();
    void SettingMenuClick();
    void AboutMenuClick();
    void pageChanged();

    std::unique_ptr<Ui::TMainForm> ui;
    QString ProgramDir;
    std::unique_ptr<IniFile> SettingsFile;
    // Workers' texts reach the status line through it.
    StatusLine* m_status = nullptr;
    // Deleted first when the window goes: their runs use the settings and the status line.
    SendTab* m_sendTab = nullptr;
    RankTab* m_rankTab = nullptr;
};
