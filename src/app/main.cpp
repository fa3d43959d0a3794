#include "app/application.h"
#include "app/mainform.h"
#include "core/datafolder.h"

#include <QCommandLineParser>
#include <QDir>

int main(int argc, char* argv[]) {
    Application::prepare();
    Application app(argc, argv);
    // Ties the window to the menu entry of the package, for its icon in the task bar.
    QGuiApplication::setDesktopFileName(QStringLiteral("moting-seo"));

    // The same --dir as the command line's, so that both can be pointed at one folder.
    QCommandLineParser parser;
    parser.setApplicationDescription(kAppTitle);
    parser.addHelpOption();
    const QCommandLineOption dirOption(
        QStringLiteral("dir"),
        QStringLiteral("The folder of the data files (Setting.ini, Url.txt, SL.txt, Sort.mdb, "
                       "...); default: the program's folder if it may be written, else "
                       "~/.local/share/moting-seo."),
        QStringLiteral("DIR"));
    parser.addOption(dirOption);
    parser.process(app);

    QString dir = parser.value(dirOption);
    if (!dir.isEmpty() && !QDir(dir).exists()) {
        reportError(QStringLiteral("The folder %1 does not exist").arg(dir));
        return 1;
    }
    if (dir.isEmpty()) {
        try {
            dir = defaultDataFolder();
        } catch (const AppError& e) {
            reportError(e.message());
            return 1;
        }
    }
    if (!settingsUsable(dir))
        return 1;
    TMainForm form(dir);
    form.show();
    return app.exec();
}
