#pragma once

#include "apperror.h"

#include <QApplication>
#include <exception>

// The application title: the taskbar entry, the start of the main window's caption and the
// title of every message box.
inline const QString kAppTitle = QStringLiteral("墨汀高效SEO综合工具");

// The application's default error report: an error that escapes an event handler is shown
// with a full stop added, the rest of that handler is skipped and the program goes on.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

void ReportError(const QString& message);

// Runs work and reports an error that escapes it the same way; for code outside the event
// loop's reach, such as the window's creation.
template <typename Work> void RunReported(Work&& work) {
    try {
        work();
    } catch (const AppError& e) {
        ReportError(e.message());
    } catch (const std::exception& e) {
        ReportError(QString::fromLocal8Bit(e.what()));
    }
}
