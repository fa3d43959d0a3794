#include "cli/commandline.h"

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "core/datafolder.h"
#include "core/settingkeys.h"
#include "rank/engines.h"
#include "text/apperror.h"
#include "text/inifile.h"

#include <QDir>
#include <QRegularExpression>
#include <csignal>

namespace {

struct Command {
    const char* name;
    int (*run)(const Options&);
    // It looks at g_interrupted and stops early: a stop is then said and gives 128 + the signal
    // (130 for Ctrl+C, 143 for SIGTERM), unless the command failed with an error of its own.
    bool stoppable;
    bool readsSettings;
};

constexpr Command kCommands[] = {
    {"rank", runRank, true, true},        {"batch", runBatch, true, true},
    {"send", runSend, true, true},        {"templates", runTemplates, true, true},
    {"history", runHistory, false, true}, {"sites", runSites, false, false},
};

// A settings file that is there but cannot be read ends the command before any work; values
// brought into range are said once, before the work.
void checkSettings(const Options& options) {
    const IniFile settings = settingsFile(options);
    settings.check();
    QStringList warnings = settingsWarnings(settings);
    try {
        warnings += engineTableWarnings(settings);
    } catch (const AppError&) {
        // An engine table that cannot be used is the error of the commands that use it.
    }
    for (const QString& warning : warnings)
        printErr(warning + QLatin1Char('.'));
}

int runCommand(const Options& options) {
    for (const Command& command : kCommands) {
        if (options.command != QLatin1String(command.name))
            continue;
        if (command.readsSettings)
            checkSettings(options);
        const int code = command.run(options);
        if (command.stoppable && g_interrupted && code != 1) {
            printErr(QStringLiteral("interrupted"));
            return 128 + (g_interruptSignal != 0 ? g_interruptSignal.load() : SIGINT);
        }
        return code;
    }
    throw UsageError(QStringLiteral("unknown command %1").arg(options.command).toStdString());
}

} // namespace

int runCommandLine(const QStringList& words) {
    Options options;
    try {
        options = parseArguments(words);
    } catch (const UsageError& e) {
        printErr(QString::fromStdString(e.what()));
        const qsizetype at = words.indexOf(QRegularExpression(QStringLiteral("^[^-].*")));
        printErr(usageText(at >= 0 ? words[at] : QString()));
        return 2;
    }
    if (options.command == QLatin1String("help")) {
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
        return runCommand(options);
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
