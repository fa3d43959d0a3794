#include "sender/sitelist.h"
#include "text/apperror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

QByteArray bytes(const std::string& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

void expectAppError(const std::function<void()>& action, const QString& message) {
    try {
        action();
        ADD_FAILURE() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(), message);
    }
}

TEST(SiteList, LoadsEveryLineEndAndSavesCrLf) {
    const struct {
        const char* name;
        std::string file;
        TextList entries;
    } cases[] = {
        {"CR LF", "a.com\r\nb.com\r\n", {"a.com", "b.com"}},
        {"LF", "a.com\nb.com\n", {"a.com", "b.com"}},
        {"CR", "a.com\rb.com\r", {"a.com", "b.com"}},
        {"no final break", "a.com\r\nb.com", {"a.com", "b.com"}},
        {"mixed", "a.com\rb.com\nc.com\r\nd.com", {"a.com", "b.com", "c.com", "d.com"}},
        {"empty file", "", {}},
        {"one break", "\r\n", {""}},
        {"blank line CR LF", "a.com\r\n\r\nb.com\r\n", {"a.com", "", "b.com"}},
        {"blank line LF", "a.com\n\nb.com", {"a.com", "", "b.com"}},
        {"LF then CR LF", "a.com\n\r\nb.com", {"a.com", "", "b.com"}},
        {"LF then CR", "a.com\n\rb.com", {"a.com", "", "b.com"}},
        {"CR then CR LF", "a.com\r\r\n", {"a.com", ""}},
        {"blank last line", "a.com\r\n\r\n", {"a.com", ""}},
        {"GBK",
         "\xD6\xD0\xCE\xC4.com\r\nwww.\xD6\xD0\xCE\xC4.cn\r\n",
         {"\xD6\xD0\xCE\xC4.com", "www.\xD6\xD0\xCE\xC4.cn"}},
        // Entries are kept as written; only the tidy-up before a run trims them.
        {"untrimmed", "  a.com/ \r\n\tb.com\r\n", {"  a.com/ ", "\tb.com"}},
    };
    QTemporaryDir dir;
    const QString in = dir.filePath("in.txt");
    const QString out = dir.filePath("Url.txt");
    // One list for every case: each load replaces what the one before left.
    SiteList list;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeAll(in, c.file);
        list.load(in);
        EXPECT_EQ(list.entries(), c.entries);

        std::string expected;
        for (const Text& site : c.entries)
            expected += site + "\r\n";
        list.save(out);
        EXPECT_EQ(readAll(out), bytes(expected));

        SiteList reread;
        reread.load(out);
        EXPECT_EQ(reread.entries(), c.entries);
    }
}

// A list an editor saved as UTF-8 with its byte-order mark reads without the mark and is
// saved back as it came; a list that is no text (binary, UTF-16) is never rewritten, since what
// could not be read would be lost.
TEST(SiteList, MarkedUtf8IsKeptAndNoTextIsNeverRewritten) {
    const struct {
        const char* name;
        std::string file;
        TextList entries;
        std::string saved; // after "x.cn" is added; empty: the save is refused
        size_t badLine;
    } cases[] = {
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF"
         "a.example.com\r\n\xE4\xB8\xAD\xE6\x96\x87.cn\n",
         {"a.example.com", "\xD6\xD0\xCE\xC4.cn"},
         "\xEF\xBB\xBF"
         "a.example.com\r\n\xE4\xB8\xAD\xE6\x96\x87.cn\r\nx.cn\r\n",
         0},
        {"UTF-16",
         std::string("\xFF\xFE"
                     "a\0.\0c\0n\0\r\0\n\0",
                     14),
         {},
         {},
         1},
        {"binary on line 3", std::string("a.cn\r\nb.cn\r\n\x01\x02\0z\r\n", 17), {}, {}, 3},
        {"no GBK on line 2", "a.cn\r\n\xFF\xFF.cn\r\n", {}, {}, 2},
        // GB18030's four bytes, code page 936's euro sign and a stored U+FFFD are text.
        {"GB18030",
         "na\x81\x30\x8A\x37ve\x94\x39\xFC\x36.cn\r\n\x80.cn\r\n\x84\x31\xA4\x37.cn\r\n",
         {"na\x81\x30\x8A\x37ve\x94\x39\xFC\x36.cn", "\x80.cn", "\x84\x31\xA4\x37.cn"},
         "na\x81\x30\x8A\x37ve\x94\x39\xFC\x36.cn\r\n\x80.cn\r\n\x84\x31\xA4\x37.cn\r\nx.cn\r\n",
         0},
        {"UTF-8 that GBK lacks",
         "\xEF\xBB\xBFna\xC3\xAFve\xF0\x9F\x98\x80.cn\r\n\xEF\xBF\xBD.cn\r\n",
         {"na\x81\x30\x8A\x37ve\x94\x39\xFC\x36.cn", "\x84\x31\xA4\x37.cn"},
         "\xEF\xBB\xBFna\xC3\xAFve\xF0\x9F\x98\x80.cn\r\n\xEF\xBF\xBD.cn\r\nx.cn\r\n",
         0},
        {"four bytes cut short on line 2", "a.cn\r\n\x81\x30\x81.cn\r\n", {}, {}, 2},
        {"no UTF-8 on line 2",
         "\xEF\xBB\xBF"
         "a.cn\r\nna\xEFve.cn\r\n",
         {},
         {},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("Url.txt");
        writeAll(path, c.file);
        SiteList list;
        list.load(path);
        if (!c.entries.empty()) {
            EXPECT_EQ(list.entries(), c.entries);
        }
        list.append("x.cn");
        if (c.badLine == 0) {
            list.save(path);
            EXPECT_EQ(readAll(path), bytes(c.saved));
            continue;
        }
        expectAppError([&] { list.save(path); },
                       QStringLiteral("%1 was not saved: its line %2 is no text (a binary or "
                                      "UTF-16 file?), and what could not be read would be lost; "
                                      "the file was left as it is")
                           .arg(path)
                           .arg(c.badLine));
        EXPECT_EQ(readAll(path), bytes(c.file));
    }
}

TEST(SiteList, SaveReplacesTheWholeFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Url.txt");
    writeAll(path, "old-one.com\r\nold-two.com\r\nold-three.com\r\n");
    SiteList list;
    list.append("a.com");
    list.append("");
    list.append("\xD6\xD0\xCE\xC4.com");
    list.save(path);
    EXPECT_EQ(readAll(path), QByteArray("a.com\r\n\r\n\xD6\xD0\xCE\xC4.com\r\n"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Url.txt"});
}

// A first start has no file: an empty list, and no file made. One that cannot be read is an
// error and the list stays.
TEST(SiteList, MissingFileIsAnEmptyListUnreadableRaises) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Url.txt");
    SiteList list;
    list.append("example.com");
    list.load(path);
    EXPECT_EQ(list.entries(), TextList{});
    EXPECT_FALSE(QFile::exists(path));

    ASSERT_TRUE(QDir().mkpath(path));
    list.append("example.com");
    expectAppError([&] { list.load(path); }, "Cannot open file " + path);
    EXPECT_EQ(list.entries(), TextList{"example.com"});
}

TEST(SiteList, RefusedSaveRaisesAndKeepsListAndFolder) {
    QTemporaryDir dir;
    const QString inMissingFolder = dir.filePath("gone/Url.txt");
    const QString folder = dir.filePath("Url.txt");
    ASSERT_TRUE(QDir(dir.path()).mkdir("Url.txt"));
    writeAll(folder + "/inside.txt", "kept\r\n");
    SiteList list;
    list.append("example.com");
    for (const QString& path : {inMissingFolder, folder}) {
        SCOPED_TRACE(path.toStdString());
        expectAppError([&] { list.save(path); }, "Cannot create file " + path);
        EXPECT_EQ(list.entries(), TextList{"example.com"});
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("gone")));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(readAll(folder + "/inside.txt"), QByteArray("kept\r\n"));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// A file size limit refuses the bytes even to root, the way a full disk would.
TEST(SiteList, WriteRefusedHalfwayKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Url.txt");
    writeAll(path, "old.com\r\n");
    SiteList list;
    list.append("old.com");
    list.append(std::string(4096, 'x') + ".com");

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    expectAppError([&] { list.save(path); }, "Cannot create file " + path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readAll(path), QByteArray("old.com\r\n"));
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Url.txt"});
}

TEST(SiteList, TidyTrimsAndDropsOneSlash) {
    const struct {
        const char* entry;
        const char* tidied;
    } cases[] = {
        {"  example.com  ", "example.com"},
        {"\t\x01www.example.com\r", "www.example.com"},
        {"example.com/", "example.com"},
        {"example.com//", "example.com/"},
        {" example.com/ ", "example.com"},
        {"example.com/blog/", "example.com/blog"},
        {"/", ""},
        {"   ", ""},
        {"", ""},
        {"\xD6\xD0\xCE\xC4.com/", "\xD6\xD0\xCE\xC4.com"},
        {"EXAMPLE.COM", "EXAMPLE.COM"},
    };
    SiteList list;
    TextList expected;
    for (const auto& c : cases) {
        list.append(c.entry);
        expected.push_back(c.tidied);
    }
    list.TidySiteList();
    ASSERT_EQ(list.size(), int(std::size(cases)));
    for (int i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(cases[i].entry);
        EXPECT_EQ(list.at(i), expected[size_t(i)]);
    }
}

TEST(SiteList, ModelShowsEntriesAsUnicode) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Url.txt");
    writeAll(path, "\xD6\xD0\xCE\xC4.com\r\n\r\nexample.com\r\n");
    SiteList list;
    int resets = 0;
    QObject::connect(&list, &QAbstractItemModel::modelReset, [&] { ++resets; });
    list.load(path);
    EXPECT_EQ(resets, 1);

    const struct {
        int row;
        QString shown;
    } rows[] = {
        {0, QString::fromUtf8("中文.com")},
        {1, QString()},
        {2, QStringLiteral("example.com")},
    };
    ASSERT_EQ(list.rowCount(), 3);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.row);
        EXPECT_EQ(list.data(list.index(r.row), Qt::DisplayRole).toString(), r.shown);
    }
    EXPECT_FALSE(list.data(list.index(0), Qt::DecorationRole).isValid());
    EXPECT_EQ(list.rowCount(list.index(0)), 0);
}

TEST(SiteList, AppendAnnouncesTheNewRow) {
    SiteList list;
    list.append("a.com");
    struct Insert {
        int first, last, rowCount;
        QString shown;
    };
    std::vector<Insert> inserts;
    QObject::connect(&list, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex& parent, int first, int last) {
                         EXPECT_FALSE(parent.isValid());
                         inserts.push_back(
                             {first, last, list.rowCount(),
                              list.data(list.index(first), Qt::DisplayRole).toString()});
                     });
    list.append("\xD6\xD0\xCE\xC4.com");
    list.append("a.com");
    ASSERT_EQ(inserts.size(), 2u);
    EXPECT_EQ(inserts[0].first, 1);
    EXPECT_EQ(inserts[0].last, 1);
    EXPECT_EQ(inserts[0].rowCount, 2);
    EXPECT_EQ(inserts[0].shown, QString::fromUtf8("中文.com"));
    // Duplicates are allowed.
    EXPECT_EQ(inserts[1].first, 2);
    EXPECT_EQ(inserts[1].shown, QStringLiteral("a.com"));
    EXPECT_EQ(list.entries(), (TextList{"a.com", "\xD6\xD0\xCE\xC4.com", "a.com"}));
}

TEST(SiteList, SameSiteIsFoundWhateverItsForm) {
    const struct {
        const char* entry;
        const char* typed;
        bool same;
    } cases[] = {
        {"example.com", "example.com", true},
        {"example.com", "  EXAMPLE.com\t", true},
        {"example.com/", "example.com", true},
        {"example.com", "example.com/", true},
        {"Example.com/Blog", "example.COM/Blog/", true},
        {"HTTP://Example.com/a", "http://example.com/a", true},
        // A path keeps its case; two slashes are not one.
        {"example.com/Blog", "example.com/blog", false},
        {"example.com//", "example.com", false},
        {"www.example.com", "example.com", false},
        {"http://example.com", "example.com", false},
        {"a.com/?u=http://X.com", "a.com/?u=http://x.com", false},
        {"\xD6\xD0\xCE\xC4.com", "\xD6\xD0\xCE\xC4.COM", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " | " + c.typed);
        SiteList list;
        list.append("other.example");
        list.append(c.entry);
        EXPECT_EQ(list.findSite(c.typed), c.same ? 1 : -1);
        // The entry being edited is not a duplicate of itself.
        EXPECT_EQ(list.findSite(c.typed, 1), -1);
    }
}

// Every edit saves the whole list first; a save that fails leaves list and file as they were.
TEST(SiteList, EditsSaveFirstAndChangeNothingWhenRefused) {
    const struct {
        const char* name;
        std::function<void(SiteList&, const QString&)> edit;
        TextList after;
    } cases[] = {
        {"append",
         [](SiteList& l, const QString& p) {
             l.appendSaved(p, {"d.com", "e.com"});
         },
         {"a.com", "b.com", "c.com", "d.com", "e.com"}},
        {"append nothing",
         [](SiteList& l, const QString& p) { l.appendSaved(p, {}); },
         {"a.com", "b.com", "c.com"}},
        {"remove",
         [](SiteList& l, const QString& p) {
             l.removeSaved(p, {2, 0, 2, 7});
         },
         {"b.com"}},
        {"remove all",
         [](SiteList& l, const QString& p) {
             l.removeSaved(p, {0, 1, 2});
         },
         {}},
        {"replace",
         [](SiteList& l, const QString& p) { l.replaceSaved(p, 1, "x.com"); },
         {"a.com", "x.com", "c.com"}},
    };
    const TextList original{"a.com", "b.com", "c.com"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("Url.txt");
        writeAll(path, "a.com\r\nb.com\r\nc.com\r\n");
        SiteList list;
        list.load(path);
        int announced = 0;
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            QObject::connect(&list, signal, [&] { ++announced; });
        QObject::connect(&list, &QAbstractItemModel::dataChanged, [&] { ++announced; });
        const bool changes = c.after != original;

        // Nothing can replace a folder: the save fails and the list stays.
        const QString folder = dir.filePath("folder");
        ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
        if (changes)
            expectAppError([&] { c.edit(list, folder); }, "Cannot create file " + folder);
        else
            c.edit(list, folder);
        EXPECT_EQ(list.entries(), original);
        EXPECT_EQ(announced, 0);

        c.edit(list, path);
        EXPECT_EQ(list.entries(), c.after);
        std::string file;
        for (const Text& site : c.after)
            file += site + "\r\n";
        EXPECT_EQ(readAll(path), bytes(file));
        EXPECT_EQ(list.rowCount(), int(c.after.size()));
        EXPECT_EQ(announced > 0, changes);
    }
}

TEST(SiteList, WorkersReadWhileTheUiAppends) {
    constexpr int kEntries = 10000;
    SiteList list;
    std::atomic<bool> done{false};
    std::atomic<int> shrinks{0}, wrong{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r)
        readers.emplace_back([&, r] {
            int seen = 0;
            for (int step = r; !done.load(); ++step) {
                const int n = list.size();
                if (n < seen)
                    ++shrinks;
                seen = n;
                if (n > 0) {
                    const int i = step % n;
                    if (list.at(i) != std::to_string(i))
                        ++wrong;
                }
            }
        });
    for (int i = 0; i < kEntries; ++i)
        list.append(std::to_string(i));
    done = true;
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(shrinks.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(list.size(), kEntries);
    EXPECT_EQ(list.at(kEntries - 1), std::to_string(kEntries - 1));
}

} // namespace
