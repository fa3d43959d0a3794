#include "core/datafolder.h"
#include "text/apperror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvOverride {
public:
    EnvOverride(const char* name, const QByteArray& value)
        : m_name(name),
          m_old(qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                                : std::nullopt) {
        qputenv(name, value);
    }
    ~EnvOverride() {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

bool makeFile(const QString& path) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly);
}

struct ChoiceCase {
    const char* name;
    bool writable;
    bool installed; // a desktop entry in ../share/applications, as the package puts it
    bool expectUserFolder;
};

class DataFolderChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(DataFolderChoice, PicksProgramOrUserFolder) {
    const ChoiceCase& c = GetParam();
    QTemporaryDir prefix;
    QTemporaryDir dataHome;
    ASSERT_TRUE(prefix.isValid() && dataHome.isValid());
    const EnvOverride xdg("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    const QString bin = prefix.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    if (c.installed) {
        ASSERT_TRUE(makeFile(prefix.filePath("share/applications/moting-seo.desktop")));
    }

    const QString userFolder = dataHome.filePath("moting-seo");
    const QString chosen = dataFolderFor(bin, c.writable);
    EXPECT_EQ(chosen, c.expectUserFolder ? userFolder : bin);
    // The user's folder is made when it is chosen, and only then.
    EXPECT_EQ(QFileInfo(userFolder).isDir(), c.expectUserFolder);
}

const ChoiceCase kChoiceCases[] = {
    {"BuildFolder", true, false, false},
    {"ReadOnlyFolder", false, false, true},
    {"InstalledCopy", true, true, true},
    {"InstalledReadOnly", false, true, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, DataFolderChoice, testing::ValuesIn(kChoiceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DataFolder, UserFolderDefaultsToLocalShare) {
    QTemporaryDir home;
    const EnvOverride homeVar("HOME", QFile::encodeName(home.path()));
    const EnvOverride xdg("XDG_DATA_HOME", QByteArray());
    const QString expected = home.filePath(".local/share/moting-seo");
    EXPECT_EQ(userDataFolder(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    // A second start finds it there.
    EXPECT_EQ(userDataFolder(), expected);
}

TEST(DataFolder, UserFolderThatCannotBeMadeIsAnError) {
    // A file where a folder should be stops every user, root included.
    QTemporaryDir dir;
    const QString blocker = dir.filePath("data");
    ASSERT_TRUE(makeFile(blocker));
    const EnvOverride xdg("XDG_DATA_HOME", QFile::encodeName(blocker));
    try {
        userDataFolder();
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot create folder %1/moting-seo").arg(blocker));
    }
    EXPECT_THROW(dataFolderFor(dir.path(), false), AppError);
}

TEST(DataFolder, WritableFolder) {
    QTemporaryDir dir;
    EXPECT_TRUE(isWritableFolder(dir.path()));
    EXPECT_FALSE(isWritableFolder(dir.filePath("missing")));
    ASSERT_TRUE(makeFile(dir.filePath("file")));
    EXPECT_FALSE(isWritableFolder(dir.filePath("file")));

    const QString readOnly = dir.filePath("read-only");
    ASSERT_TRUE(QDir().mkdir(readOnly));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    // Root writes into any folder, so it sees this one as writable, and rightly.
    EXPECT_EQ(isWritableFolder(readOnly), geteuid() == 0);
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace
