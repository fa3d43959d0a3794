#include "app/aboutform.h"

#include "app/application.h"
#include "core/version.h"
#include "ui_aboutform.h"

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connectReported(ui->OKButton, &QPushButton::clicked, this, &TAboutForm::OKButtonClick);
    FormCreate();
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::FormCreate() {
    ui->ApplicationVersionLabel->setText(kAppTitle + QStringLiteral(MT_FILE_VERSION));
    ui->DeveloperLabel->setText(QStringLiteral("开发商：墨汀SEO工具开源项目\n\n"
                                               "本程序为开源软件（MIT 许可证），免费使用。"));
    ui->SuggestionLabel->setText(
        QStringLiteral("联系方式：https://github.com/moting-seo/moting-seo/issues"));
}

void TAboutForm::OKButtonClick() {
    close();
}
