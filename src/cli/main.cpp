// moting-seo-cli: rank tracking and sending without a window, for cron and scripts.
#include "apperror.h"
#include "commands.h"
#include "datafolder.h"
#include "output.h"

#include <QApplication>
#include <QDir>
#include <csignal>
#include <unistd.h>

namespace {

bool g_verbose = false;

// Qt's and the browser's own chatter (console messages of result pages, platform notes) only
// with --verbose: cron mails whatever a job prints.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (g_verbose || type == QtFatalMsg)
        PrintErr(message);
}

const char kUsage[] = R"(usage: moting-seo-cli COMMAND [options]

commands:
  rank SITE KEYWORD [--engine ENGINE|all]  find SITE's rank for KEYWORD; ENGINE: baidu,
                                          sogou, haosou or an engine added in Setting.ini
  batch                                   run the standing batch list of Sort.mdb
  send [--threads N] [--passes N]         send the site list through SL.txt
  history [--limit N] [--csv | --xlsx FILE]
                                          the newest rank results
  history --chart FILE --site SITE --keyword KEYWORD
                                          draw SITE's ranks for KEYWORD (one line per
                                          engine) into a PNG file
  history --import FILE                   add the rows of an exported history CSV that
                                          the history lacks
  sites add URL | sites list              the site list (Url.txt)
  templates check [--threads N]           fetch each link template of SL.txt once, with
                                          the first site it suits, and say which work;
                                          writes no SendLog.txt

options for every command:
  --dir DIR     the program folder (Setting.ini, Url.txt, SL.txt, Sort.mdb, ...);
                default: this program's folder if it may be written,
                else ~/.local/share/moting-seo
  --verbose     the status-line texts on standard error
  --help        this text

exit codes: 0 done (every query ranked or not found), 1 error, 2 wrong usage,
            3 a query was blocked by a verification page, 4 a query failed,
            130 interrupted (Ctrl+C))";

int ToNumber(const QString& option, const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        throw UsageError(
            QStringLiteral("%1 needs a whole number, not \"%2\"").arg(option, text).toStdString());
    return value;
}

Options Parse(const QStringList& words) {
    Options o;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words[i];
        auto value = [&]() -> QString {
            if (i + 1 >= words.size())
                throw UsageError(QStringLiteral("%1 needs a value").arg(w).toStdString());
            return words[++i];
        };
        if (w == "--help" || w == "-h")
            o.command = QStringLiteral("help");
        else if (w == "--verbose" || w == "-v")
            o.verbose = true;
        else if (w == "--csv")
            o.csv = true;
        else if (w == "--dir")
            o.dir = value();
        else if (w == "--xlsx")
            o.xlsx = value();
        else if (w == "--chart")
            o.chart = value();
        else if (w == "--site")
            o.site = value();
        else if (w == "--keyword")
            o.keyword = value();
        else if (w == "--import")
            o.importFile = value();
        else if (w == "--engine")
            o.engine = value();
        else if (w == "--threads")
            o.threads = ToNumber(w, value());
        else if (w == "--passes")
            o.passes = ToNumber(w, value());
        else if (w == "--limit")
            o.limit = std::max(0, ToNumber(w, value()));
        else if (w.startsWith("--"))
            throw UsageError(QStringLiteral("unknown option %1").arg(w).toStdString());
        else if (o.command.isEmpty())
            o.command = w;
        else if (o.command != "help")
            o.args << w;
    }
    if (o.command.isEmpty())
        throw UsageError("no command");
    return o;
}

} // namespace

int main(int argc, char* argv[]) {
    // Chromium writes its own errors (a disk cache it cannot create, ...) to standard error,
    // where every line should be one of ours: only its fatal ones, unless --verbose. The
    // variable's other flags stay, and a log level of the user's own wins.
    bool verbose = false;
    try {
        QStringList words;
        for (int i = 1; i < argc; ++i)
            words << QString::fromLocal8Bit(argv[i]);
        verbose = Parse(words).verbose;
    } catch (const UsageError&) {
    }
    if (const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        !verbose && !flags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed() + " --log-level=3");
    // No window ever: the browser draws offscreen, and as root it runs without its sandbox.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(QuietMessages);
    // A QApplication, as the chart is drawn with Qt Widgets' graphics view.
    QApplication app(argc, argv);
    std::signal(SIGINT, [](int) { g_interrupted = true; });
    std::signal(SIGTERM, [](int) { g_interrupted = true; });

    Options options;
    try {
        options = Parse(app.arguments().mid(1));
    } catch (const UsageError& e) {
        PrintErr(QString::fromStdString(e.what()));
        PrintErr(QString::fromUtf8(kUsage));
        return 2;
    }
    g_verbose = options.verbose;
    if (options.command == "help") {
        PrintOut(QString::fromUtf8(kUsage));
        return 0;
    }
    QString dir = options.dir;
    try {
        if (dir.isEmpty())
            dir = DefaultDataFolder();
    } catch (const AppError& e) {
        PrintErr(e.message() + QLatin1Char('.'));
        return 1;
    }
    if (!QDir(dir).exists()) {
        PrintErr(QStringLiteral("The folder %1 does not exist.").arg(dir));
        return 1;
    }
    options.dir = QDir(dir).absolutePath() + QLatin1Char('/');

    try {
        if (options.command == "rank")
            return RunRank(options);
        if (options.command == "batch")
            return RunBatch(options);
        if (options.command == "send")
            return RunSend(options);
        if (options.command == "history")
            return RunHistory(options);
        if (options.command == "sites")
            return RunSites(options);
        if (options.command == "templates")
            return RunTemplates(options);
        throw UsageError(QStringLiteral("unknown command %1").arg(options.command).toStdString());
    } catch (const UsageError& e) {
        PrintErr(QString::fromStdString(e.what()));
        PrintErr(QString::fromUtf8(kUsage));
        return 2;
    } catch (const AppError& e) {
        PrintErr(e.message() + QLatin1Char('.'));
        return 1;
    } catch (const std::exception& e) {
        PrintErr(QString::fromLocal8Bit(e.what()) + QLatin1Char('.'));
        return 1;
    }
}
