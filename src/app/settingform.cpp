#include "settingform.h"

#include "application.h"
#include "inifile.h"
#include "spinvalue.h"
#include "ui_settingform.h"

TSettingForm::TSettingForm(IniFile& settings, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TSettingForm>()), m_settings(settings) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ConnectReported(ui->OKButton, &QPushButton::clicked, this, &TSettingForm::OKButtonClick);
    ConnectReported(ui->QuitButton, &QPushButton::clicked, this, &TSettingForm::QuitButtonClick);
    FormCreate();
}

TSettingForm::~TSettingForm() = default;

void TSettingForm::FormCreate() {
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    ui->SortToDB->setChecked(m_settings.readBool("SortQuery", "SortToDB", true));
    ui->QuerySleep->setValue(m_settings.readInteger("SortQuery", "QuerySleep", 2000));
    ui->AllowHttps->setChecked(m_settings.readBool("Setting", "AllowHttps", false));
    ui->FollowRedirects->setChecked(m_settings.readBool("Setting", "FollowRedirects", false));
}

void TSettingForm::OKButtonClick() {
    m_settings.writeBool("SortQuery", "SortToDB", ui->SortToDB->isChecked());
    // An emptied field is written as 0; a negative pause is kept, the rank scan waits 0 then.
    m_settings.writeInteger("SortQuery", "QuerySleep", SpinValue(ui->QuerySleep, 0));
    m_settings.writeBool("Setting", "AllowHttps", ui->AllowHttps->isChecked());
    m_settings.writeBool("Setting", "FollowRedirects", ui->FollowRedirects->isChecked());
}

void TSettingForm::QuitButtonClick() {
    close();
}
