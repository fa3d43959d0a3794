#include "app/application.h"

#include "app/appstyle.h"
#include "app/messagebox.h"
#include "app/qttranslations.h"

#include <unistd.h>

void Application::prepare() {
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kAppTitle);
    setStyle(new AppStyle(style())); // NOLINT(cppcoreguidelines-owning-memory): Qt owns it
    // Standard buttons and file dialogs speak the user's language, not Qt's English.
    installQtTranslations(QLocale::system());
}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    runReported([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void reportError(const QString& message) {
    MessageBox::error(QApplication::activeWindow(), message + QLatin1Char('.'));
}
