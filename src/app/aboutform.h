#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TAboutForm;
}

// "关于": the title with the version, the developer and where to send suggestions.
class TAboutForm : public QDialog {
    Q_OBJECT

public:
    explicit TAboutForm(QWidget* parent);
    ~TAboutForm() override;

    void OKButtonClick();

private:
    void FormCreate();

    std::unique_ptr<Ui::TAboutForm> ui;
};
