#include "app/settingform.h"

#include "app/application.h"
#include "app/spinvalue.h"
#include "core/settingkeys.h"
#include "text/inifile.h"
#include "ui_settingform.h"

TSettingForm::TSettingForm(IniFile& settings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TSettingForm>()), m_settings(settings) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connectReported(ui->OKButton, &QPushButton::clicked, this, &TSettingForm::OKButtonClick);
    connectReported(ui->QuitButton, &QPushButton::clicked, this, &TSettingForm::QuitButtonClick);
    FormCreate();
}

TSettingForm::~TSettingForm() = default;

void TSettingForm::FormCreate() {
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    // The pause the scan would use is what the field shows and can take.
    ui->QuerySleep->setRange(Settings::QuerySleep.min, Settings::QuerySleep.max);
    ui->SortToDB->setChecked(Settings::SortToDB.read(m_settings));
    ui->QuerySleep->setValue(Settings::QuerySleep.read(m_settings));
    ui->AllowHttps->setChecked(Settings::AllowHttps.read(m_settings));
    ui->FollowRedirects->setChecked(Settings::FollowRedirects.read(m_settings));
}

void TSettingForm::OKButtonClick() {
    Settings::SortToDB.write(m_settings, ui->SortToDB->isChecked());
    // An emptied field is written as 0.
    Settings::QuerySleep.write(m_settings, spinValue(ui->QuerySleep, 0));
    Settings::AllowHttps.write(m_settings, ui->AllowHttps->isChecked());
    Settings::FollowRedirects.write(m_settings, ui->FollowRedirects->isChecked());
}

void TSettingForm::QuitButtonClick() {
    close();
}
