// moting-seo-cli: rank tracking and sending without a window, for cron and scripts.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "core/datafolder.h"
#include "text/apperror.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <csignal>
#include <unistd.h>

namespace {

bool g_verbose = false;

// Qt's and the browser's own chatter (console messages of result pages, platform notes) only
// with --verbose: cron mails whatever a job prints.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (g_verbose || type == QtFatalMsg)
        printErr(message);
}

} // namespace

int main(int argc, char* argv[]) {
    // Chromium writes its own errors (a disk cache it cannot create, ...) to standard error,
    // where every line should be one of ours: only its fatal ones, unless --verbose. The
    // variable's other flags stay, and a log level of the user's own wins.
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    const bool verbose = hasVerboseOption(words);
    if (const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        !verbose && !flags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed() + " --log-level=3");
    // No window ever: the browser draws offscreen, and as root it runs without its sandbox.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qInstallMessageHandler(quietMessages);
    // A QApplication, as the chart is drawn with Qt Widgets' graphics view.
    QApplication app(argc, argv);
    std::signal(SIGINT, [](int) { g_interrupted = true; });
    std::signal(SIGTERM, [](int) { g_interrupted = true; });

    Options options;
    try {
        options = parseArguments(app.arguments().mid(1));
    } catch (const UsageError& e) {
        printErr(QString::fromStdString(e.what()));
        const qsizetype at =
            app.arguments().indexOf(QRegularExpression(QStringLiteral("^[^-].*")), 1);
        printErr(usageText(at > 0 ? app.arguments()[at] : QString()));
        return 2;
    }
    g_verbose = options.verbose;
    if (options.command == "help") {
        printOut(usageText(options.args.value(0)));
        return 0;
    }
    QString dir = options.dir;
    try {
        if (dir.isEmpty())
            dir = defaultDataFolder();
    } catch (const AppError& e) {
        printErr(e.message() + QLatin1Char('.'));
        return 1;
    }
    if (!QDir(dir).exists()) {
        printErr(QStringLiteral("The folder %1 does not exist.").arg(dir));
        return 1;
    }
    options.dir = QDir(dir).absolutePath() + QLatin1Char('/');

    try {
        if (options.command == "rank")
            return runRank(options);
        if (options.command == "batch")
            return runBatch(options);
        if (options.command == "send")
            return runSend(options);
        if (options.command == "history")
            return runHistory(options);
        if (options.command == "sites")
            return runSites(options);
        if (options.command == "templates")
            return runTemplates(options);
        throw UsageError(QStringLiteral("unknown command %1").arg(options.command).toStdString());
    } catch (const UsageError& e) {
        printErr(QString::fromStdString(e.what()));
        printErr(usageText(options.command));
        return 2;
    } catch (const AppError& e) {
        printErr(e.message() + QLatin1Char('.'));
        return 1;
    } catch (const std::exception& e) {
        printErr(QString::fromLocal8Bit(e.what()) + QLatin1Char('.'));
        return 1;
    }
}
