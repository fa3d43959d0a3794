#include "app/messagebox.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

struct TestMode {
    bool on = false;
    MessageBox::Answer answer = MessageBox::Answer::Ok;
    QList<MessageBox::Shown> shown;
    QString nextFileName;
};

TestMode& testMode() {
    static TestMode mode;
    return mode;
}

MessageBox::Answer show(QWidget* parent, MessageBox::Kind kind, const QString& text) {
    TestMode& mode = testMode();
    if (mode.on) {
        mode.shown.append({kind, text});
        return kind == MessageBox::Kind::Question ? mode.answer : MessageBox::Answer::Ok;
    }
    const QString title = QApplication::applicationName();
    switch (kind) {
    case MessageBox::Kind::Error:
        QMessageBox::critical(parent, title, text);
        return MessageBox::Answer::Ok;
    case MessageBox::Kind::Information:
        QMessageBox::information(parent, title, text);
        return MessageBox::Answer::Ok;
    case MessageBox::Kind::Warning:
        QMessageBox::warning(parent, title, text);
        return MessageBox::Answer::Ok;
    case MessageBox::Kind::Question:
        break;
    }
    return QMessageBox::question(parent, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok
               ? MessageBox::Answer::Ok
               : MessageBox::Answer::Cancel;
}

} // namespace

namespace MessageBox {

void error(QWidget* parent, const QString& text) {
    show(parent, Kind::Error, text);
}

void information(QWidget* parent, const QString& text) {
    show(parent, Kind::Information, text);
}

void warning(QWidget* parent, const QString& text) {
    show(parent, Kind::Warning, text);
}

Answer confirm(QWidget* parent, const QString& text) {
    return show(parent, Kind::Question, text);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                     const QString& filter) {
    TestMode& mode = testMode();
    if (mode.on)
        return std::exchange(mode.nextFileName, {});
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) {
    TestMode& mode = testMode();
    if (mode.on)
        return std::exchange(mode.nextFileName, {});
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

void setNextFileName(const QString& path) {
    testMode().nextFileName = path;
}

void setTestMode(bool on, Answer answer) {
    testMode() = TestMode{on, answer, {}, {}};
}

QList<Shown> takeShown() {
    return std::exchange(testMode().shown, {});
}

} // namespace MessageBox
