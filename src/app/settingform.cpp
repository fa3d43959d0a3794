#include "app/settingform.h"

#include "app/application.h"
#include "app/messagebox.h"
#include "app/spinvalue.h"
#include "core/settingkeys.h"
#include "store/rankdb.h"
#include "text/codepage.h"
#include "text/inifile.h"
#include "ui_settingform.h"

namespace {

// Why a database address typed in the dialog cannot be used; empty when it can.
QString addressRefusal(const QString& address) {
    if (address.isEmpty())
        return {};
    switch (serverAddressProblem(address)) {
    case AddressProblem::None:
        return {};
    case AddressProblem::Password:
        return QStringLiteral("数据库地址中不能含密码，请把密码填在“密码”一栏。");
    case AddressProblem::ConnectionString:
        return QStringLiteral("数据库地址不能是连接字符串。留空即使用程序文件夹中的 "
                              "Sort.mdb；共享数据库请填写 postgresql://用户@主机:端口/数据库名。");
    case AddressProblem::Form:
        break;
    }
    return QStringLiteral("数据库地址应为 postgresql://用户@主机:端口/数据库名 的形式；留空即使用"
                          "程序文件夹中的 Sort.mdb。");
}

} // namespace

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

// Each spin edit with the key it shows: its range is the one the program brings a stored value
// into, so the field shows what is used and takes nothing else.
std::vector<std::pair<QSpinBox*, const IntSetting*>> TSettingForm::spinSettings() const {
    return {
        {ui->QuerySleep, &Settings::QuerySleep},
        {ui->Depth, &Settings::Depth},
        {ui->PageSize, &Settings::PageSize},
        {ui->PageTimeout, &Settings::PageTimeout},
        {ui->VerificationWait, &Settings::VerificationWait},
        {ui->FetchTimeLimit, &Settings::FetchTimeLimit},
        {ui->LeaseSeconds, &Settings::ClaimLease},
    };
}

void TSettingForm::FormCreate() {
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    for (const auto& [box, setting] : spinSettings()) {
        box->setRange(setting->min, setting->max);
        box->setValue(setting->readInRange(m_settings));
    }
    ui->SortToDB->setChecked(Settings::SortToDB.read(m_settings));
    ui->AllowHttps->setChecked(Settings::AllowHttps.read(m_settings));
    ui->FollowRedirects->setChecked(Settings::FollowRedirects.read(m_settings));
    ui->DatabaseUrl->setText(gbkToQString(Settings::DatabaseUrl.read(m_settings)));
    ui->DatabasePassword->setText(gbkToQString(Settings::DatabasePassword.read(m_settings)));
}

void TSettingForm::OKButtonClick() {
    // Typed texts are checked before anything is written, so a refusal leaves the file as it was.
    const QString address = ui->DatabaseUrl->text().trimmed();
    if (const QString refusal = addressRefusal(address); !refusal.isEmpty()) {
        ui->PageControl1->setCurrentWidget(ui->TabSheet3);
        ui->DatabaseUrl->setFocus();
        MessageBox::information(this, refusal);
        return;
    }
    const Text url = qStringToGbkStrict(address, QStringLiteral("The database address"));
    const Text password =
        qStringToGbkStrict(ui->DatabasePassword->text(), QStringLiteral("The password"));

    // An emptied field is written as its minimum (a pause of 0).
    auto writeSpin = [this](const QSpinBox* box, const IntSetting& setting) {
        setting.write(m_settings, spinValue(box, box->minimum()));
    };
    // Key by key, section by section; the first write the file refuses ends the handler.
    Settings::SortToDB.write(m_settings, ui->SortToDB->isChecked());
    writeSpin(ui->QuerySleep, Settings::QuerySleep);
    writeSpin(ui->Depth, Settings::Depth);
    writeSpin(ui->PageSize, Settings::PageSize);
    writeSpin(ui->PageTimeout, Settings::PageTimeout);
    writeSpin(ui->VerificationWait, Settings::VerificationWait);
    Settings::AllowHttps.write(m_settings, ui->AllowHttps->isChecked());
    Settings::FollowRedirects.write(m_settings, ui->FollowRedirects->isChecked());
    writeSpin(ui->FetchTimeLimit, Settings::FetchTimeLimit);
    Settings::DatabaseUrl.write(m_settings, url);
    Settings::DatabasePassword.write(m_settings, password);
    writeSpin(ui->LeaseSeconds, Settings::ClaimLease);
}

void TSettingForm::QuitButtonClick() {
    close();
}
