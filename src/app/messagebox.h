#pragma once

#include <QList>
#include <QString>

class QWidget;

// The program's message boxes, titled with the application title. Tests switch on the test
// mode: boxes are then answered at once, without showing, and what they said is kept.
namespace MessageBox {

enum class Kind { Error, Information, Warning, Question };
enum class Answer { Ok, Cancel };

struct Shown {
    Kind kind;
    QString text;
};

void error(QWidget* parent, const QString& text);
void information(QWidget* parent, const QString& text);
void warning(QWidget* parent, const QString& text);
// "OK" / "Cancel"
Answer confirm(QWidget* parent, const QString& text);

// The file a user chooses to save to; empty when the choice is cancelled.
QString saveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                     const QString& filter);

// The file a user chooses to read; empty when the choice is cancelled.
QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter);

void setTestMode(bool on, Answer answer = Answer::Ok);
// In test mode, what the next saveFileName or openFileName answers.
void setNextFileName(const QString& path);
QList<Shown> takeShown();

} // namespace MessageBox
