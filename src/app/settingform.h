#pragma once

#include <QDialog>
#include <memory>

class IniFile;
namespace Ui {
class TSettingForm;
}

// "设置": whether https templates are fetched and redirects followed when sending, whether rank
// results are stored, and the pause between result pages.
class TSettingForm : public QDialog {
    Q_OBJECT

public:
    TSettingForm(IniFile& settings, QWidget* parent);
    ~TSettingForm() override;

    void OKButtonClick();
    void QuitButtonClick();

private:
    void FormCreate();

    std::unique_ptr<Ui::TSettingForm> ui;
    IniFile& m_settings;
};
