#pragma once

#include <QDialog>
#include <memory>
#include <utility>
#include <vector>

class IniFile;
class QSpinBox;
struct IntSetting;
namespace Ui {
class TSettingForm;
}

// "设置": every setting of "Setting.ini" a user may change but the two counts of the send tab.
// "外链群发": https templates, redirects, the time a fetch may take; "排名查询": storing the
// results, the pause between result pages, the depth, the page size, a page's time-out;
// "数据库": where the rank history lives and a worker's claim lease.
class TSettingForm : public QDialog {
    Q_OBJECT

public:
    TSettingForm(IniFile& settings, QWidget* parent);
    ~TSettingForm() override;

    void OKButtonClick();
    void QuitButtonClick();

private:
    void FormCreate();
    std::vector<std::pair<QSpinBox*, const IntSetting*>> spinSettings() const;

    std::unique_ptr<Ui::TSettingForm> ui;
    IniFile& m_settings;
};
