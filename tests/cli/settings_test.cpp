// The settings file as the commands meet it: one that is there but cannot be read, and values
// the program brings into range.
#include "clirun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What a path holds, to see that nothing was changed: its kind, size and, for a small file,
// a digest of its bytes.
QString footprint(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return QStringLiteral("link to ") + info.symLinkTarget();
    if (!info.exists())
        return QStringLiteral("missing");
    if (!info.isFile())
        return info.isDir() ? QStringLiteral("folder") : QStringLiteral("special");
    QString print = QString::number(info.size());
    if (info.size() < 1024 * 1024) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            print += QLatin1Char(' ') +
                     QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    }
    return print;
}

struct Unreadable {
    const char* name;
    std::function<bool(const QString& path)> make;
    const char* why;
};

// The shared database and the engines the file would name, were it read.
const QByteArray kNamed = "[Database]\r\nUrl=postgresql://u@127.0.0.1:1/db\r\n"
                          "[Engines]\r\nBaiduAddress=http://127.0.0.1:1/\r\n";

QByteArray utf16(const QByteArray& text, bool mark) {
    QByteArray bytes = mark ? QByteArray("\xFF\xFE", 2) : QByteArray();
    for (const char c : text)
        bytes.append(c).append('\0');
    return bytes;
}

} // namespace

// Going on with the built-in values would ask the real engines, or make a local "Sort.mdb"
// in place of the shared database: every command that reads the file ends before any work.
TEST(CliSettings, aFileThatCannotBeReadEndsEveryCommandThatReadsIt) {
    const Unreadable cases[] = {
        {"a folder", [](const QString& p) { return QDir().mkdir(p); }, "it is a folder"},
        {"a FIFO", [](const QString& p) { return mkfifo(QFile::encodeName(p), 0600) == 0; },
         "it is no regular file"},
        {"UTF-16 with its mark",
         [](const QString& p) { return writeBytes(p, utf16(kNamed, true)); },
         "it is UTF-16 text; save it as GBK or UTF-8"},
        {"UTF-16 without a mark",
         [](const QString& p) { return writeBytes(p, utf16(kNamed, false)); },
         "it is no text: it holds zero bytes, as UTF-16 text or a binary file does"},
        {"larger than 64 MB",
         [](const QString& p) {
             QFile file(p);
             return file.open(QIODevice::WriteOnly) && file.write(kNamed) > 0 &&
                    file.resize(64LL * 1024 * 1024 + 1);
         },
         "it is larger than 64 MB"},
        {"a link to a missing file",
         [](const QString& p) {
             return QFile::link(QStringLiteral("/nonexistent/Setting.ini"), p);
         },
         "No such file or directory"},
    };
    const QStringList commands[] = {
        {"rank", "a.example", "seo"},
        {"batch"},
        {"batch", "--worker", "w1"},
        {"history"},
        {"send"},
        {"templates"},
    };
    for (const Unreadable& c : cases) {
        for (const QStringList& command : commands) {
            ProgramDir dir;
            const QString settings = dir.file(QStringLiteral("Setting.ini"));
            ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("Url.txt")), "a.example\r\n"));
            ASSERT_TRUE(
                writeBytes(dir.file(QStringLiteral("SL.txt")), "9http://127.0.0.1:1/{@url}\r\n"));
            ASSERT_TRUE(c.make(settings)) << c.name;
            const QStringList before = dir.entries();
            const QString print = footprint(settings);

            const Outcome o = runInProcess(dir.args(command));

            const std::string where = std::string(c.name) + ", " + command.join(' ').toStdString();
            EXPECT_EQ(o.code, 1) << where << show(o);
            EXPECT_EQ(o.err, QStringLiteral("Cannot read the settings file %1: %2.\n")
                                 .arg(settings, QString::fromUtf8(c.why)))
                << where;
            EXPECT_EQ(o.out, QString()) << where;
            EXPECT_EQ(dir.entries(), before) << where; // no "Sort.mdb", no browser profile
            EXPECT_EQ(footprint(settings), print) << where;
        }
    }
}

// A file only its owner may read, met by another user: said as such. As root the program runs
// as nobody, from a copy that user may run.
TEST(CliSettings, aFileWithoutReadPermissionIsSaid) {
    ProgramDir dir;
    const QString settings = dir.file(QStringLiteral("Setting.ini"));
    ASSERT_TRUE(writeBytes(settings, kNamed));
    ASSERT_TRUE(QFile::setPermissions(settings, QFile::WriteOwner));
    const QString expected =
        QStringLiteral("Cannot read the settings file %1: no permission to read it.\n")
            .arg(settings);
    if (geteuid() != 0) {
        const Outcome o = runInProcess(dir.args({"history"}));
        EXPECT_EQ(o.code, 1) << show(o);
        EXPECT_EQ(o.err, expected);
        return;
    }
    QTemporaryDir copyDir;
    const QString program = copyDir.filePath(QStringLiteral("moting-seo-cli"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(MT_CLI_EXECUTABLE), program));
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(copyDir.path(), open));
    ASSERT_TRUE(QFile::setPermissions(program, open));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), open));

    QProcess process;
    process.setChildProcessModifier([] {
        const gid_t nobodyGroup = 65534;
        const uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobodyGroup) != 0 || setuid(nobody) != 0)
            _exit(99);
    });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.insert(QStringLiteral("HOME"), copyDir.path());
    process.setProcessEnvironment(env);
    process.start(program, dir.args({"history"}));
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1) << process.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()), expected);
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kNamed);
}

// A value the program does not take as written is said before the work, with what is used:
// a pause of 23 days would hold a run for as long.
TEST(CliSettings, valuesOutOfRangeAreSaidWithWhatIsUsed) {
    QByteArray thousand = "[Engines]\r\nAdded=";
    QByteArray engines;
    for (int i = 0; i < 1000; ++i) {
        const QByteArray key = "e" + QByteArray::number(i);
        thousand += key + ",";
        engines += key + "Address=http://127.0.0.1:1\r\n" + key + "Page=/s?q={keyword}\r\n";
    }
    thousand += "\r\n" + engines;
    struct Case {
        const char* name;
        QByteArray file;
        QStringList said;
    };
    const Case cases[] = {
        {"in range", "[SortQuery]\r\nQuerySleep=0\r\nDepth=1000\r\nPageTimeout=3600\r\n", {}},
        {"a pause of 23 days",
         "[SortQuery]\r\nQuerySleep=2000000000\r\n",
         {"Setting.ini [SortQuery] QuerySleep=2000000000 is out of range (0 to 3600000); 3600000 "
          "is used."}},
        {"depth, page size and time-out",
         "[SortQuery]\r\nPageTimeout=0\r\nDepth=-1\r\nPageSize=x\r\n",
         {"Setting.ini [SortQuery] Depth=-1 is out of range (1 to 1000); 1 is used.",
          "Setting.ini [SortQuery] PageSize=x is no whole number; 10 is used.",
          "Setting.ini [SortQuery] PageTimeout=0 is out of range (1 to 3600); 1 is used."}},
        {"threads beyond 32 bits, lease in hexadecimal",
         "[Setting]\r\nThreadCount=99999999999\r\n[Database]\r\nLeaseSeconds=0x2\r\n",
         {"Setting.ini [Setting] ThreadCount=99999999999 is no whole number; 8 is used.",
          "Setting.ini [Database] LeaseSeconds=0x2 is out of range (5 to 86400); 5 is used."}},
        {"escape codes are not passed to the terminal",
         "[Setting]\r\nSendCount=\x1b[2J\x1b[31m7\r\n",
         {QStringLiteral("Setting.ini [Setting] SendCount=[2J\uFFFD[31m7 is no whole "
                         "number; 2 is used.")}},
        {"a thousand engines",
         thousand,
         {"Setting.ini [Engines] Added names 1000 engines; the first 97 are used, 100 engines in "
          "all."}},
    };
    for (const Case& c : cases) {
        // The leading escape falls with the blanks around the value; the one inside is shown
        // as a replacement character.
        ProgramDir dir;
        ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("Setting.ini")), c.file));
        const Outcome o = runInProcess(dir.args({"history"}));
        EXPECT_EQ(o.code, 0) << c.name << show(o);
        const QString said = c.said.isEmpty() ? QString() : c.said.join('\n') + '\n';
        EXPECT_EQ(o.err, said) << c.name;
        QFile file(dir.file(QStringLiteral("Setting.ini")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.file) << c.name; // said, not rewritten
    }
}
