#include "sender/fetchsettings.h"
#include "sender/httpfetch.h"
#include "text/inifile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct SettingsCase {
    std::string name;
    std::string file; // empty: no file
    bool allowHttps;
    bool followRedirects;
    int limitSeconds = 60;
};

TEST(ReadFetchSettingsTest, ReadsBothSwitches) {
    const std::vector<SettingsCase> cases = {
        {"no file", "", false, false},
        {"both on", "[Setting]\r\nAllowHttps=1\r\nFollowRedirects=1\r\n", true, true},
        {"one on", "[Setting]\r\nThreadCount=5\r\nFollowRedirects=1\r\n", false, true},
        {"names in any case", "[setting]\r\nallowhttps=-1\r\n", true, false},
        {"off", "[Setting]\r\nAllowHttps=0\r\nFollowRedirects=0\r\n", false, false},
        {"words are no numbers", "[Setting]\r\nAllowHttps=true\r\nFollowRedirects=yes\r\n", false,
         false},
        {"another section", "[SortQuery]\r\nAllowHttps=1\r\nFollowRedirects=1\r\n", false, false},
        {"a time limit", "[Setting]\r\nFetchTimeLimit=15\r\n", false, false, 15},
        {"a time limit below one second", "[Setting]\r\nFetchTimeLimit=0\r\n", false, false, 1},
        {"a time limit that is no number", "[Setting]\r\nFetchTimeLimit=x\r\n", false, false, 60},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("Setting.ini");
        if (!c.file.empty()) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(c.file.data(), qint64(c.file.size())), qint64(c.file.size()));
        }
        // Switched the other way first, so a value the file lacks is seen to be reset.
        FetchOptions options;
        options.allowHttps = !c.allowHttps;
        options.followRedirects = !c.followRedirects;
        options.caFile = "kept.pem";
        readFetchSettings(IniFile(path), options);
        EXPECT_EQ(options.allowHttps, c.allowHttps);
        EXPECT_EQ(options.followRedirects, c.followRedirects);
        EXPECT_EQ(options.caFile, "kept.pem");
        EXPECT_EQ(options.totalTimeout, std::chrono::seconds(c.limitSeconds));
    }
}

} // namespace
