#pragma once

#include "text/apperror.h"

#include <QApplication>
#include <exception>

// The application title: the taskbar entry, the start of the main window's caption and the
// title of every message box.
inline const QString kAppTitle = QStringLiteral("墨汀高效SEO综合工具");

// The application's default error report: an error that escapes an event handler is shown
// with a full stop added, the rest of that handler is skipped and the program goes on.
// Handlers are connected with connectReported; notify() catches what other event code lets
// escape.
class Application : public QApplication {
public:
    // What must be settled before the application object exists: as root the result-page
    // browser cannot use its sandbox. (Its shared OpenGL context is made only when it is
    // loaded, on the first query.)
    static void prepare();

    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

void reportError(const QString& message);

// Runs work and reports an error that escapes it the same way; for code outside the event
// loop's reach, such as the window's creation.
template <typename Work> void runReported(Work&& work) {
    try {
        work();
    } catch (const AppError& e) {
        reportError(e.message());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
}

// Connects a handler (a member function of receiver without arguments) so that an error
// escaping it is reported right there, before it could unwind through Qt's own code.
template <typename Sender, typename Signal, typename Receiver>
QMetaObject::Connection connectReported(Sender* sender, Signal signal, Receiver* receiver,
                                        void (Receiver::*handler)()) {
    return QObject::connect(sender, signal, receiver,
                            [receiver, handler] { runReported([&] { (receiver->*handler)(); }); });
}
