#include "text/apperror.h"
#include "text/atomicfile.h"
#include "text/datafile.h"
#include "text/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a data file may be instead of a file: each is refused at once, with its reason.
TEST(DataFile, OnlyRegularFilesOfSaneSize) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Url.txt");
    const struct {
        const char* name;
        std::function<bool()> make;
        const char* said; // empty: read
    } cases[] = {
        {"a regular file",
         [&] {
             QFile file(path);
             return file.open(QIODevice::WriteOnly) && file.write("a.example\r\n") == 11;
         },
         ""},
        {"a FIFO, no writer", [&] { return mkfifo(QFile::encodeName(path), 0600) == 0; },
         ": it is no regular file"},
        {"a link to /dev/zero", [&] { return QFile::link("/dev/zero", path); },
         ": it is no regular file"},
        {"a folder", [&] { return QDir().mkdir(path); }, "."},
        {"missing", [] { return true; }, "."},
        {"larger than 64 MB",
         [&] {
             QFile file(path);
             return file.open(QIODevice::WriteOnly) && file.resize(kMaxDataFileSize + 1);
         },
         ": it is larger than 64 MB"},
    };
    for (const auto& c : cases) {
        QFile::remove(path);
        QDir().rmdir(path);
        ASSERT_TRUE(c.make()) << c.name;
        const QString said = QString::fromUtf8(c.said);
        try {
            const QByteArray bytes = readDataFile(path);
            EXPECT_TRUE(said.isEmpty()) << c.name << " was read";
            EXPECT_EQ(bytes, QByteArray("a.example\r\n")) << c.name;
        } catch (const AppError& e) {
            const QString expected =
                QStringLiteral("Cannot open file %1").arg(path) + (said == "." ? QString() : said);
            EXPECT_EQ(e.message(), expected) << c.name;
        }
    }
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A settings file saved as UTF-8 with a byte-order mark (as some editors do) is read as UTF-8 and
// stays UTF-8 with its mark, every other byte as it was.
TEST(DataFile, SettingsWithAUtf8MarkStayUtf8) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Setting.ini");
    const QByteArray utf8 = "\xEF\xBB\xBF[Setting]\r\nThreadCount=3\r\n; 备注 \xF0\x9F\x98\x80\r\n"
                            "[Engines]\r\nFindName=找找\r\n";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(utf8);
    }
    IniFile ini(path);
    EXPECT_EQ(ini.readInteger("Setting", "ThreadCount", 8), 3);
    EXPECT_EQ(ini.readText("Engines", "FindName", ""), "\xD5\xD2\xD5\xD2"); // 找找 in GBK
    ini.writeInteger("Setting", "ThreadCount", 5);
    ini.writeInteger("Setting", "SendCount", 2);
    QByteArray expected = utf8;
    expected.replace("ThreadCount=3", "ThreadCount=5");
    expected.replace("\x80\r\n", "\x80\r\nSendCount=2\r\n");
    EXPECT_EQ(readAll(path), expected);

    // Without the mark the file is GBK, as always.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Engines]\r\nFindName=\xD5\xD2\xD5\xD2\r\n");
    }
    EXPECT_EQ(ini.readText("Engines", "FindName", ""), "\xD5\xD2\xD5\xD2");
}

// A file replaced whole keeps the permissions the user gave it.
TEST(DataFile, ReplacedFilesKeepTheirMode) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Url.txt");
    for (const mode_t mode : {0600, 0640, 0664, 0604}) {
        ASSERT_TRUE(replaceFileAtomically(path, "a\r\n"));
        ASSERT_EQ(chmod(QFile::encodeName(path), mode), 0);
        ASSERT_TRUE(replaceFileAtomically(path, "b\r\n"));
        struct stat info {};
        ASSERT_EQ(stat(QFile::encodeName(path), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
        IniFile(path).writeInteger("Setting", "SendCount", 1);
        ASSERT_EQ(stat(QFile::encodeName(path), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
}

} // namespace
