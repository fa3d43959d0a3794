// moting-seo-cli: rank tracking and sending without a window, for cron and scripts.
#include "cli/arguments.h"
#include "cli/commandline.h"
#include "cli/commands.h"
#include "cli/output.h"

#include <QApplication>
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
    if (const QString error = nonUtf8ArgumentError(argc, argv); !error.isEmpty()) {
        printErr(error + QLatin1Char('.'));
        return 1;
    }
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
    // A handler may only set flags; the commands look at them.
    const auto interrupt = [](int signal) {
        g_interruptSignal = signal;
        g_interrupted = true;
    };
    std::signal(SIGINT, interrupt);
    std::signal(SIGTERM, interrupt);

    g_verbose = verbose;
    return runCommandLine(app.arguments().mid(1));
}
