#pragma once

// Running the command-line program as its own process, as cron and scripts do, or its commands
// in this process.
#include "cli/commandline.h"
#include "cli/output.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

inline bool browserTestsOff() {
    // The sanitizer run sets this: Chromium's own libraries do not run under it.
    return qEnvironmentVariableIntValue("MT_SKIP_BROWSER_TESTS") == 1;
}

struct Outcome {
    int code = -1; // -1: crashed, or still running when given up on
    QString out;   // standard output, read as UTF-8
    QString err;
};

// Runs the program to its end. started sees the process once it runs (to signal it later);
// a hung program is killed after a generous bound, so a fault fails instead of hanging.
// fileSizeLimit: the largest file the program may write (0: no limit), a full disk as the
// program meets it.
inline Outcome runCli(const QStringList& args, const std::function<void(qint64 pid)>& started = {},
                      rlim_t fileSizeLimit = 0) {
    QProcess process;
    if (fileSizeLimit > 0)
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
    // No display at all, and the program chooses its own platform.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // As cron starts it: no locale set, yet the output is UTF-8.
    env.remove(QStringLiteral("LANG"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MT_CLI_EXECUTABLE), args);
    Outcome outcome;
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "cannot start " << MT_CLI_EXECUTABLE;
        return outcome;
    }
    if (started)
        started(process.processId());
    if (!process.waitForFinished(240000)) {
        ADD_FAILURE() << "the program did not end: " << args.join(' ').toStdString();
        process.kill();
        process.waitForFinished();
    }
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit)
        outcome.code = process.exitCode();
    return outcome;
}

// The same command line run in this process, its output captured: for the cases that end
// before any page or fetch, in milliseconds.
inline Outcome runInProcess(const QStringList& args) {
    const CapturedOutput captured;
    Outcome outcome;
    outcome.code = runCommandLine(args);
    outcome.out = captured.out();
    outcome.err = captured.err();
    return outcome;
}

inline std::string show(const Outcome& o) {
    return QStringLiteral("exit %1\n--- stdout\n%2--- stderr\n%3")
        .arg(o.code)
        .arg(o.out, o.err)
        .toStdString();
}

class ProgramDir {
public:
    ProgramDir() { EXPECT_TRUE(m_dir.isValid()); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QStringList entries() const {
        QStringList names =
            QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        names.sort(Qt::CaseSensitive);
        return names;
    }
    // The program's arguments with this folder as its program folder.
    QStringList args(QStringList words) const { return words << QStringLiteral("--dir") << path(); }

private:
    QTemporaryDir m_dir;
};
