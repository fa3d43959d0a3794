#include "pgserver.h"

#include "../loopbackport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QVersionNumber>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <stdexcept>
#include <sys/types.h>
#include <unistd.h>

namespace {

// Each program gets five seconds to start, this long to finish and ten seconds more to be
// stopped when it does not, so that no call holds a test run up for more than a minute.
constexpr int kRunMs = 45'000;
constexpr int kTerminateGraceMs = 5'000;
constexpr int kStartAttempts = 3;
// The longest database name PostgreSQL keeps whole (NAMEDATALEN - 1 bytes); a longer one is
// cut short without an error, and the address returned would name a database that is not there.
constexpr int kMaxNameBytes = 63;
// sockaddr_un::sun_path holds 108 bytes including the terminating zero.
constexpr int kMaxSocketPath = 107;

const QString kUser = QStringLiteral("moting");
const QString kPassword = QStringLiteral("moting-test-password");
// Holds the superuser's password for initdb, in the server's folder, until initdb has read it.
const QString kPasswordFile = QStringLiteral("/superuser.pw");

// The newest /usr/lib/postgresql/<version>/bin that holds every program used here.
QString findBinDir() {
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QString best;
    QVersionNumber bestVersion;
    for (const QString& entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QVersionNumber version = QVersionNumber::fromString(entry);
        if (version.isNull())
            continue;
        const QString bin = root.filePath(entry + QStringLiteral("/bin"));
        static const char* const programs[] = {"initdb", "pg_ctl", "postgres", "psql"};
        const bool complete =
            std::all_of(std::begin(programs), std::end(programs), [&bin](const char* program) {
                return QFileInfo(bin + QLatin1Char('/') + QLatin1String(program)).isExecutable();
            });
        if (complete && (best.isEmpty() || version > bestVersion)) {
            best = bin;
            bestVersion = version;
        }
    }
    return best;
}

// The programs must not pick up a connection, password or data folder meant for something else
// from the test's environment (a test may well set PGPASSWORD for its own client). Messages stay
// in English so that a skip reason reads the same everywhere.
QProcessEnvironment toolEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : environment.keys()) {
        if (key.startsWith(QLatin1String("PG")))
            environment.remove(key);
    }
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("PGCLIENTENCODING"), QStringLiteral("UTF8"));
    return environment;
}

QString lastLines(const QString& text, int count) {
    QStringList lines = text.trimmed().split(QLatin1Char('\n'));
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join(QLatin1Char('\n'));
}

// The last lines of what was written to a file after its first `from` bytes.
QString fileTail(const QString& path, qint64 from, int count = 15) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
        return {};
    return lastLines(QString::fromUtf8(file.readAll()), count);
}

// A value in a libpq connection string: quoted, so that spaces, quotes and '=' in it stay data.
QString conninfoValue(const QString& value) {
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString sqlIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString sqlLiteral(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void checkDatabaseName(const QString& name) {
    if (name.isEmpty() || name.contains(QChar(u'\0')) || name.toUtf8().size() > kMaxNameBytes)
        throw std::runtime_error("unusable database name \"" + name.toStdString() +
                                 "\": it must be 1 to 63 bytes without a zero byte");
}

bool chownTree(const QString& path, uid_t uid, gid_t gid, QString* problem) {
    namespace fs = std::filesystem;
    const auto change = [&](const fs::path& entry) {
        if (::lchown(entry.c_str(), uid, gid) == 0)
            return true;
        *problem = QStringLiteral("could not hand %1 to the postgres user: %2")
                       .arg(QString::fromStdString(entry.string()),
                            QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    const fs::path root = path.toStdString();
    if (!change(root))
        return false;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        if (!change(it->path()))
            return false;
    }
    if (error) {
        *problem = QStringLiteral("could not list %1: %2")
                       .arg(path, QString::fromStdString(error.message()));
        return false;
    }
    return true;
}

// The postmaster's process id from its lock file, if that process is still ours: the id may
// have been reused since, and then nothing of ours is left to stop.
pid_t runningPostmaster(const QString& dataDir) {
    QFile pidFile(dataDir + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const pid_t pid = QString::fromLatin1(pidFile.readLine()).trimmed().toInt(&ok);
    if (!ok || pid <= 0)
        return 0;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> args = cmdline.readAll().split('\0');
    return args.contains(QFile::encodeName(dataDir)) ? pid : 0;
}

} // namespace

struct PgServer::Outcome {
    bool ok = false;
    QString output;  // standard output
    QString problem; // when not ok: what went wrong, with the program's own message
};

PgServer::PgServer() {
    // Nothing may escape the constructor once a server may be running: the destructor would
    // not run, and the server would outlive the test.
    try {
        m_binDir = findBinDir();
        if (m_binDir.isEmpty()) {
            fail(QStringLiteral("PostgreSQL is not installed (Debian package postgresql)"));
            return;
        }
        if (prepareFolder() && initCluster() && startOnFreePort() && createRole())
            m_running = true;
    } catch (const std::exception& error) {
        fail(QStringLiteral("setting up the PostgreSQL server failed: %1")
                 .arg(QString::fromLocal8Bit(error.what())));
    } catch (...) {
        fail(QStringLiteral("setting up the PostgreSQL server failed"));
    }
    if (!m_running)
        stopServer();
}

PgServer::~PgServer() {
    // stopServer() does not throw; the folder goes with m_dir once the server is down.
    stopServer();
}

bool PgServer::running() const {
    return m_running;
}

QString PgServer::skipReason() const {
    return m_running ? QString() : m_skipReason;
}

int PgServer::port() const {
    return m_port;
}

QString PgServer::user() {
    return kUser;
}

QString PgServer::password() {
    return kPassword;
}

QString PgServer::createDatabase(const QString& name) {
    checkDatabaseName(name);
    psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1 OWNER %2")
                                         .arg(sqlIdentifier(name), sqlIdentifier(kUser)));
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
        .arg(kUser)
        .arg(m_port)
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(name)));
}

QString PgServer::psql(const QString& dbname, const QString& sql) {
    if (!m_running)
        throw std::runtime_error("the PostgreSQL server is not running: " +
                                 m_skipReason.toStdString());
    checkDatabaseName(dbname);
    const Outcome outcome =
        run(tool("psql"),
            {QStringLiteral("-X"), QStringLiteral("-d"), superuserConninfo(dbname),
             QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-Atq"),
             QStringLiteral("-c"), sql},
            kRunMs);
    if (!outcome.ok)
        throw std::runtime_error(outcome.problem.toStdString());
    QString output = outcome.output;
    if (output.endsWith(QLatin1Char('\n')))
        output.chop(1);
    return output;
}

PgServer::Outcome PgServer::run(const QString& program, const QStringList& args,
                                int timeoutMs) const {
    const QString name = QFileInfo(program).fileName();
    QProcess process;
    process.setProcessEnvironment(toolEnvironment());
    // The postgres user cannot enter every folder root may be in, and initdb and pg_ctl fail
    // when they cannot read their current directory.
    process.setWorkingDirectory(m_dir->path());
    process.setStandardInputFile(QProcess::nullDevice());
    if (m_runuser.isEmpty())
        process.start(program, args);
    else
        process.start(m_runuser, QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                             QStringLiteral("--"), program} +
                                     args);
    Outcome outcome;
    if (!process.waitForStarted(kTerminateGraceMs)) {
        outcome.problem =
            QStringLiteral("%1 could not be started: %2").arg(name, process.errorString());
        return outcome;
    }
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        // runuser hands SIGTERM on to the program; SIGKILL would leave the program running.
        process.terminate();
        if (!process.waitForFinished(kTerminateGraceMs)) {
            process.kill();
            process.waitForFinished(kTerminateGraceMs);
        }
    }
    outcome.output = QString::fromUtf8(process.readAllStandardOutput());
    const QString errors = lastLines(QString::fromUtf8(process.readAllStandardError()), 20);
    const QString message =
        errors.isEmpty() ? lastLines(outcome.output, 20) : errors; // initdb talks on stdout
    if (!finished) {
        outcome.problem =
            QStringLiteral("%1 did not finish within %2 s").arg(name).arg(timeoutMs / 1000);
    } else if (process.exitStatus() != QProcess::NormalExit) {
        outcome.problem = QStringLiteral("%1 crashed").arg(name);
    } else if (process.exitCode() != 0) {
        outcome.problem =
            QStringLiteral("%1 failed (exit code %2)").arg(name).arg(process.exitCode());
    } else {
        outcome.ok = true;
        return outcome;
    }
    if (!message.isEmpty())
        outcome.problem += QStringLiteral(":\n") + message;
    return outcome;
}

QString PgServer::tool(const char* name) const {
    return m_binDir + QLatin1Char('/') + QLatin1String(name);
}

QString PgServer::dataDir() const {
    return m_dir->path() + QStringLiteral("/data");
}

QString PgServer::socketDir() const {
    return m_dir->path() + QStringLiteral("/sock");
}

QString PgServer::serverLog() const {
    return m_dir->path() + QStringLiteral("/server.log");
}

QString PgServer::superuserConninfo(const QString& dbname) const {
    return QStringLiteral("host=%1 port=%2 user=postgres dbname=%3")
        .arg(conninfoValue(socketDir()))
        .arg(m_port)
        .arg(conninfoValue(dbname));
}

bool PgServer::fail(const QString& reason) {
    m_skipReason = reason;
    return false;
}

bool PgServer::prepareFolder() {
    uid_t uid = 0;
    gid_t gid = 0;
    if (::geteuid() == 0) {
        // initdb and postgres refuse to run as root.
        const passwd* account = ::getpwnam("postgres");
        if (account == nullptr)
            return fail(QStringLiteral("running as root, and there is no postgres user to run "
                                       "the server as"));
        uid = account->pw_uid;
        gid = account->pw_gid;
        m_runuser = QStandardPaths::findExecutable(
            QStringLiteral("runuser"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                        QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
        if (m_runuser.isEmpty())
            return fail(QStringLiteral("running as root, and runuser (Debian package "
                                       "util-linux) is not there to run the server as postgres"));
    }

    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/moting-pg-XXXXXX"));
    if (!m_dir->isValid())
        return fail(
            QStringLiteral("could not make a temporary folder: %1").arg(m_dir->errorString()));
    // pg_ctl puts the data folder and the options into a shell command line; a path with only
    // these characters needs no quoting there.
    static const QRegularExpression plainPath(QStringLiteral("^/[A-Za-z0-9/._+-]+$"));
    if (!plainPath.match(m_dir->path()).hasMatch())
        return fail(QStringLiteral("the temporary folder %1 has characters pg_ctl cannot pass on; "
                                   "set TMPDIR to a plain path")
                        .arg(m_dir->path()));
    if ((socketDir() + QStringLiteral("/.s.PGSQL.65535")).toUtf8().size() > kMaxSocketPath)
        return fail(QStringLiteral("the temporary folder %1 is too deep for a Unix socket; set "
                                   "TMPDIR to a shorter path")
                        .arg(m_dir->path()));
    if (!QDir().mkdir(socketDir()))
        return fail(QStringLiteral("could not make %1").arg(socketDir()));
    if (!QFile::setPermissions(socketDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner))
        return fail(QStringLiteral("could not restrict %1").arg(socketDir()));
    // The superuser logs in through the socket without a password; the random one set here
    // only keeps TCP logins as the superuser closed.
    const QString pwfile = m_dir->path() + kPasswordFile;
    QFile file(pwfile);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return fail(QStringLiteral("could not write %1: %2").arg(pwfile, file.errorString()));
    const quint64 secret[2] = {QRandomGenerator::system()->generate64(),
                               QRandomGenerator::system()->generate64()};
    file.write(QByteArray(reinterpret_cast<const char*>(secret), sizeof secret).toHex() + '\n');
    if (!file.flush())
        return fail(QStringLiteral("could not write %1: %2").arg(pwfile, file.errorString()));
    file.close();
    if (!m_runuser.isEmpty()) {
        QString problem;
        if (!chownTree(m_dir->path(), uid, gid, &problem))
            return fail(problem);
    }
    return true;
}

bool PgServer::initCluster() {
    const QString pwfile = m_dir->path() + kPasswordFile;
    Outcome outcome;
    QString log;
    // C.UTF-8 classifies every character the pages hold; plain C is there on any system.
    for (const QString& locale : {QStringLiteral("C.UTF-8"), QStringLiteral("C")}) {
        QDir(dataDir()).removeRecursively(); // what an earlier try may have left
        outcome =
            run(tool("initdb"),
                {QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), QStringLiteral("postgres"),
                 QStringLiteral("--auth-local=trust"), QStringLiteral("--auth-host=scram-sha-256"),
                 QStringLiteral("--pwfile=") + pwfile, QStringLiteral("-E"), QStringLiteral("UTF8"),
                 QStringLiteral("--locale=") + locale,
                 // Nothing here has to survive a power cut.
                 QStringLiteral("--no-sync")},
                kRunMs);
        log += QStringLiteral("initdb --locale=%1\n%2\n%3\n")
                   .arg(locale, outcome.output, outcome.ok ? QString() : outcome.problem);
        if (outcome.ok || !outcome.problem.contains(QLatin1String("locale")))
            break;
    }
    QFile::remove(pwfile);
    QFile logFile(m_dir->path() + QStringLiteral("/initdb.log"));
    if (logFile.open(QIODevice::WriteOnly))
        logFile.write(log.toUtf8());
    if (!outcome.ok) {
        QString reason = QStringLiteral("initdb failed: %1").arg(outcome.problem);
        if (!m_runuser.isEmpty() && outcome.problem.contains(QLatin1String("Permission denied")))
            reason += QStringLiteral("\n(initdb runs as the postgres user, which must be able to "
                                     "enter every folder down to %1; set TMPDIR to one it can)")
                          .arg(m_dir->path());
        return fail(reason);
    }
    return true;
}

bool PgServer::startOnFreePort() {
    QStringList problems;
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        const int port = freeLoopbackPort();
        if (port == 0) {
            problems << QStringLiteral("no free port on 127.0.0.1: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
            continue;
        }
        const QString options =
            QStringLiteral("-p %1 -k '%2' -c listen_addresses=127.0.0.1 -c fsync=off "
                           "-c synchronous_commit=off -c full_page_writes=off "
                           "-c max_connections=60")
                .arg(port)
                .arg(socketDir());
        const qint64 logStart = QFileInfo(serverLog()).size(); // each try appends to it
        const Outcome outcome =
            run(tool("pg_ctl"),
                {QStringLiteral("-D"), dataDir(), QStringLiteral("-l"), serverLog(),
                 QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"),
                 QStringLiteral("-o"), options, QStringLiteral("start")},
                kRunMs);
        if (outcome.ok) {
            m_port = port;
            return true;
        }
        problems << QStringLiteral("port %1: %2\n%3")
                        .arg(port)
                        .arg(outcome.problem, fileTail(serverLog(), logStart));
        // A start that ran out of time may still come up; the next try needs the folder free.
        stopServer();
    }
    return fail(QStringLiteral("the PostgreSQL server did not start:\n") +
                problems.join(QLatin1Char('\n')));
}

bool PgServer::createRole() {
    const Outcome outcome =
        run(tool("psql"),
            {QStringLiteral("-X"), QStringLiteral("-d"),
             superuserConninfo(QStringLiteral("postgres")), QStringLiteral("-v"),
             QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-Atq"), QStringLiteral("-c"),
             QStringLiteral("CREATE ROLE %1 LOGIN CREATEDB PASSWORD %2")
                 .arg(sqlIdentifier(kUser), sqlLiteral(kPassword))},
            kRunMs);
    if (!outcome.ok)
        return fail(QStringLiteral("could not create the role %1: %2").arg(kUser, outcome.problem));
    return true;
}

void PgServer::stopServer() noexcept {
    try {
        if (!m_dir || !m_dir->isValid())
            return;
        const QString pidFile = dataDir() + QStringLiteral("/postmaster.pid");
        for (const char* mode : {"fast", "immediate"}) {
            if (!QFile::exists(pidFile))
                return;
            const Outcome outcome =
                run(tool("pg_ctl"),
                    {QStringLiteral("-D"), dataDir(), QStringLiteral("-m"), QLatin1String(mode),
                     QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("20"),
                     QStringLiteral("stop")},
                    kRunMs);
            if (outcome.ok)
                return;
        }
        // pg_ctl could not stop it, or the lock file is stale. A postmaster still running on
        // this folder is killed: its folder is about to go, and its children end with it.
        if (const pid_t pid = runningPostmaster(dataDir())) {
            qWarning("PgServer: pg_ctl could not stop the server on %s; killing process %d",
                     qPrintable(dataDir()), int(pid));
            ::kill(pid, SIGKILL);
            for (int waited = 0; waited < 50 && runningPostmaster(dataDir()) != 0; ++waited)
                QThread::msleep(100);
        }
    } catch (...) {
        // Nothing can be done about it here, and the destructor must not throw.
    }
}
