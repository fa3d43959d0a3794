#include "text/linewriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(AppendLineToFile, CreatesAppendsAndRewrites) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SendLog.txt");
    EXPECT_TRUE(AppendLineToFile(path, "http://a/\t10:00:00", false, true));
    EXPECT_TRUE(AppendLineToFile(path, "\xD6\xD0", false, true));
    EXPECT_EQ(readAll(path), QByteArray("http://a/\t10:00:00\r\n\xD6\xD0\r\n"));
    EXPECT_TRUE(AppendLineToFile(path, "", true, false));
    EXPECT_EQ(readAll(path), QByteArray("\r\n"));
}

// A rewrite that cannot be written whole (here past the file size limit, as on a full disk)
// leaves the last content rather than an emptied file.
TEST(AppendLineToFile, FailedRewriteKeepsTheOldContent) {
    QTemporaryDir dir;
    const QString path = dir.filePath("temp.txt");
    ASSERT_TRUE(AppendLineToFile(path, "old page", true, true));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = AppendLineToFile(path, std::string(1000, 'x'), true, true);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(readAll(path), QByteArray("old page\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"temp.txt"});
}

TEST(AppendLineToFile, FailureReturnsFalseAndReleasesTheLock) {
    QTemporaryDir dir;
    const QString bad = dir.filePath("no-such-dir/temp.txt");
    EXPECT_FALSE(AppendLineToFile(bad, "x", false, true));
    EXPECT_FALSE(AppendLineToFile(bad, "x", true, true));
    // Another thread must get the lock at once; a leaked lock would hang here.
    bool written = false;
    std::thread other(
        [&] { written = AppendLineToFile(dir.filePath("ok.txt"), "y", false, true); });
    other.join();
    EXPECT_TRUE(written);
}

// The send log: no line, no file; lines from many threads whole; a full disk (here the file
// size limit, which fails a write the same way) leaves no torn line and is said with the file.
TEST(AppendLog, WholeLinesOrNone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SendLog.txt");
    {
        AppendLog log(path);
        EXPECT_EQ(log.error(), QString());
    }
    EXPECT_FALSE(QFile::exists(path));

    AppendLog log(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 100; ++i)
                EXPECT_TRUE(log.append(std::string(10, static_cast<char>('a' + t))));
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(readAll(path).size(), 400 * 12);
    EXPECT_EQ(readAll(path).count("\r\n"), 400);

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 400 * 12 + 30; // room for two more lines and a half
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool first = log.append(std::string(10, 'x'));
    const bool second = log.append(std::string(10, 'y'));
    const bool third = log.append(std::string(10, 'z'));
    const bool fourth = log.append(std::string(10, 'w'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(first && second);
    EXPECT_FALSE(third);
    EXPECT_FALSE(fourth);
    const QByteArray bytes = readAll(path);
    EXPECT_EQ(bytes.size(), 402 * 12);
    EXPECT_TRUE(bytes.endsWith("yyyyyyyyyy\r\n"));
    EXPECT_TRUE(log.error().startsWith(QStringLiteral("Cannot write file %1: ").arg(path)))
        << log.error().toStdString();

    AppendLog nowhere(dir.filePath("no-such-dir/SendLog.txt"));
    EXPECT_FALSE(nowhere.append("x"));
    EXPECT_TRUE(nowhere.error().contains(QStringLiteral("No such file or directory")))
        << nowhere.error().toStdString();
}

TEST(AppendLineToFile, ConcurrentWritersProduceWholeLines) {
    QTemporaryDir dir;
    const QString path = dir.filePath("SendLog.txt");
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const std::string line(100 + t, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i)
                AppendLineToFile(path, line, false, true);
        });
    for (auto& t : threads)
        t.join();
    const QList<QByteArray> lines = readAll(path).split('\n');
    ASSERT_EQ(lines.size(), kThreads * kLines + 1);
    EXPECT_TRUE(lines.back().isEmpty());
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        ASSERT_TRUE(line.endsWith('\r'));
        const int t = line.front() - 'a';
        ASSERT_EQ(line, QByteArray(100 + t, line.front()) + '\r');
    }
}

} // namespace
