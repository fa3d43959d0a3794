#include "text/apperror.h"
#include "text/inifile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(IniFile, MissingFileGivesDefaultsAndIsNotCreated) {
    QTemporaryDir dir;
    const IniFile ini(dir.filePath("Setting.ini"));
    EXPECT_EQ(ini.readInteger("Setting", "ThreadCount", 8), 8);
    EXPECT_EQ(ini.readInteger("Setting", "SendCount", 2), 2);
    EXPECT_TRUE(ini.readBool("SortQuery", "SortToDB", true));
    EXPECT_EQ(ini.readInteger("SortQuery", "QuerySleep", 2000), 2000);
    EXPECT_FALSE(QFile::exists(ini.path()));
}

TEST(IniFile, ReadsWholeNumbersAndBooleans) {
    const struct {
        const char* stored;
        int number; // read with the default 8
        bool flag;  // read with the default true
    } cases[] = {
        {"16", 16, true},
        {"0x10", 16, true},
        {"0X1f", 31, true},
        {"$10", 16, true},
        {"x10", 16, true},
        {"X10", 16, true},
        {"-5", -5, true},
        {"+5", 5, true},
        {"  42  ", 42, true},
        {"0", 0, false},
        {"1", 1, true},
        {"2", 2, true},
        {"-1", -1, true},
        {"12abc", 8, true},
        {"", 8, true},
        {"1.5", 8, true},
        {"1e3", 8, true},
        {"true", 8, true},
        {"false", 8, true},
        {"no", 8, true},
        {"0x", 8, true},
        {"$", 8, true},
        {"- 5", 8, true},
        {"2147483647", 2147483647, true},
        {"2147483648", 8, true},
        {"-2147483648", -2147483647 - 1, true},
        {"0xFFFFFFFF", -1, true},
        {"0x100000000", 8, true},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("Setting.ini");
    const IniFile ini(path);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        writeAll(path, QByteArray("[Setting]\r\nThreadCount=") + c.stored + "\r\n");
        EXPECT_EQ(ini.readInteger("Setting", "ThreadCount", 8), c.number);
        EXPECT_EQ(ini.readBool("Setting", "ThreadCount", true), c.flag);
    }
}

TEST(IniFile, NamesMatchInAnyCaseAndOnlyInTheirSection) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Setting.ini");
    // The first section of a name and the first key of a name in it count.
    writeAll(path,
             "ThreadCount=0\n; comment\n[other]\nThreadCount=1\n[SETTING]\n threadcount = 5 \n"
             ";SendCount=9\nThreadCount=6\n[SortQuery]\nSendCount=7\n[Setting]\n"
             "SendCount=3\n");
    const IniFile file(path);
    // A frozen copy answers as the file does.
    for (const IniFile& ini : {file, file.frozen()}) {
        EXPECT_EQ(ini.readInteger("Setting", "ThreadCount", 8), 5);
        EXPECT_EQ(ini.readInteger("setting", "SENDCOUNT", 2), 2);
        EXPECT_EQ(ini.readInteger("Missing", "ThreadCount", 3), 3);
        EXPECT_EQ(ini.readInteger(" sortquery ", "sendcount", 2), 7);
    }
}

TEST(IniFile, WritesKeepEveryOtherLine) {
    const struct {
        const char* name;
        const char* before;
        const char* after;
    } cases[] = {
        {"new file", nullptr, "[Setting]\r\nThreadCount=5\r\n"},
        {"replaced where it stands", "[setting]\r\nthreadcount = 50 ; x\r\nSendCount=2\r\n",
         "[setting]\r\nthreadcount =5\r\nSendCount=2\r\n"},
        {"added at the end of its section",
         "; mine\r\n[Setting]\r\nSendCount=2\r\n\r\n[SortQuery]\r\nSortToDB=0\r\n",
         "; "
         "mine\r\n[Setting]\r\nSendCount=2\r\nThreadCount=5\r\n\r\n[SortQuery]\r\nSortToDB=0\r\n"},
        {"section added at the end, line breaks followed", "[SortQuery]\nQuerySleep=1",
         "[SortQuery]\nQuerySleep=1\n[Setting]\nThreadCount=5\n"},
        {"GBK bytes kept", "[\xD6\xD0]\r\nk=\xCE\xC4\r\n",
         "[\xD6\xD0]\r\nk=\xCE\xC4\r\n[Setting]\r\nThreadCount=5\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("Setting.ini");
        if (c.before)
            writeAll(path, c.before);
        IniFile ini(path);
        ini.writeInteger("Setting", "ThreadCount", 5);
        EXPECT_EQ(readAll(path), QByteArray(c.after));
        EXPECT_EQ(ini.readInteger("Setting", "ThreadCount", 8), 5);
    }
}

TEST(IniFile, WritesBooleansAndNegativeNumbers) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Setting.ini"));
    ini.writeInteger("Setting", "ThreadCount", 8);
    ini.writeInteger("Setting", "SendCount", 2);
    ini.writeBool("SortQuery", "SortToDB", false);
    ini.writeInteger("SortQuery", "QuerySleep", -500);
    EXPECT_EQ(readAll(ini.path()), QByteArray("[Setting]\r\nThreadCount=8\r\nSendCount=2\r\n"
                                              "[SortQuery]\r\nSortToDB=0\r\nQuerySleep=-500\r\n"));
    EXPECT_FALSE(ini.readBool("SortQuery", "SortToDB", true));
    EXPECT_EQ(ini.readInteger("SortQuery", "QuerySleep", 2000), -500);
}

TEST(IniFile, RefusedWriteRaisesAndLeavesTheFile) {
    QTemporaryDir dir;
    const QString missingDir = dir.filePath("gone/Setting.ini");
    IniFile nowhere(missingDir);
    try {
        nowhere.writeInteger("Setting", "ThreadCount", 5);
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to ") + missingDir);
    }

    if (geteuid() == 0)
        GTEST_SKIP() << "root writes through file permissions";
    const QString path = dir.filePath("Setting.ini");
    writeAll(path, "[Setting]\r\nThreadCount=3\r\n");
    chmod(QFile::encodeName(path).constData(), 0444);
    IniFile locked(path);
    EXPECT_THROW(locked.writeInteger("Setting", "ThreadCount", 5), AppError);
    EXPECT_EQ(readAll(path), QByteArray("[Setting]\r\nThreadCount=3\r\n"));
}

TEST(IniFile, ReadsTexts) {
    const struct {
        const char* line; // the key's line in [Engines]; null: no such key
        Text value;       // read with the default "dflt"
    } cases[] = {
        {"Key=plain", "plain"},
        {"Key=  blanks around  \t", "blanks around"},
        {"Key=\"  kept blanks  \"", "  kept blanks  "},
        {"Key = \"quoted\"  ", "quoted"},
        {"Key=\"\"", ""},
        {"Key=", ""},
        {"Key=\"", "\""},
        {"Key=\"open", "\"open"},
        {"Key=a \"b\"", "a \"b\""},
        {"Key=\"a\" b", "\"a\" b"},
        {"Key=x=y", "x=y"},
        {"key=\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4"},
        {"Other=value", "dflt"},
        {nullptr, "dflt"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("Setting.ini");
    const IniFile ini(path);
    EXPECT_EQ(ini.readText("Engines", "Key", "dflt"), "dflt"); // no file
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "(no key)");
        QByteArray file = "[Setting]\r\nKey=elsewhere\r\n[Engines]\r\n";
        if (c.line)
            file += QByteArray(c.line) + "\r\n";
        writeAll(path, file);
        EXPECT_EQ(ini.readText("Engines", "Key", "dflt"), c.value);
        EXPECT_EQ(ini.frozen().readText("Engines", "Key", "dflt"), c.value);
    }
}

// A text written is read back as it was, whatever blanks or quotes it holds.
TEST(IniFile, WrittenTextsReadBack) {
    const struct {
        const char* name;
        QByteArray before; // empty: no file
        Text value;
        QByteArray after;
    } cases[] = {
        {"plain",
         {},
         "postgresql://moting@db:5432/moting",
         "[Database]\r\nUrl=postgresql://moting@db:5432/moting\r\n"},
        {"empty", "[Database]\r\nUrl=old\r\n", "", "[Database]\r\nUrl=\r\n"},
        {"blanks around are kept in quotes", {}, " pa ss\t", "[Database]\r\nUrl=\" pa ss\t\"\r\n"},
        {"a quoted value keeps its quotes", {}, "\"x\"", "[Database]\r\nUrl=\"\"x\"\"\r\n"},
        {"one quote stays bare", {}, "\"", "[Database]\r\nUrl=\"\r\n"},
        {"inner quotes and equals signs stay bare",
         {},
         "a\"b=c\"",
         "[Database]\r\nUrl=a\"b=c\"\r\n"},
        {"GBK", {}, "\xD6\xD0\xCE\xC4", "[Database]\r\nUrl=\xD6\xD0\xCE\xC4\r\n"},
        {"UTF-8 file written in UTF-8", "\xEF\xBB\xBF[Database]\r\nUrl=x\r\n", "\xD6\xD0",
         "\xEF\xBB\xBF[Database]\r\nUrl=\xE4\xB8\xAD\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("Setting.ini");
        if (!c.before.isEmpty())
            writeAll(path, c.before);
        IniFile ini(path);
        ini.writeText("Database", "Url", c.value);
        EXPECT_EQ(readAll(path), c.after);
        EXPECT_EQ(ini.readText("Database", "Url", "dflt"), c.value);
    }
}

TEST(IniFile, TextWithALineBreakIsRefused) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Setting.ini"));
    for (const Text value : {"a\nb", "a\rb"}) {
        try {
            ini.writeText("Database", "Password", value);
            ADD_FAILURE() << "no error";
        } catch (const AppError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("[Database] Password cannot hold a line break"));
        }
    }
    EXPECT_FALSE(QFile::exists(ini.path()));
}

} // namespace
