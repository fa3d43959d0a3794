#pragma once

#include "text/inifile.h"

#include <QStringList>
#include <algorithm>
#include <climits>
#include <string_view>

// A whole-number key of "Setting.ini": where it lives, what a missing or malformed value means,
// and the range the program brings a value into before it uses it.
struct IntSetting {
    std::string_view section;
    std::string_view key;
    int defaultValue;
    int min = INT_MIN;
    int max = INT_MAX;

    // As stored, else the default; not brought into the range.
    int read(const IniFile& settings) const {
        return settings.readInteger(section, key, defaultValue);
    }
    // As stored, else this fallback (for a default known only at run time).
    int readOr(const IniFile& settings, int fallback) const {
        return settings.readInteger(section, key, fallback);
    }
    int readInRange(const IniFile& settings) const { return clamp(read(settings)); }
    int clamp(int value) const { return std::clamp(value, min, max); }
    void write(IniFile& settings, int value) const { settings.writeInteger(section, key, value); }
};

struct BoolSetting {
    std::string_view section;
    std::string_view key;
    bool defaultValue;

    bool read(const IniFile& settings) const {
        return settings.readBool(section, key, defaultValue);
    }
    void write(IniFile& settings, bool value) const { settings.writeBool(section, key, value); }
};

// A text key, read as it is stored (GBK), else the default.
struct TextSetting {
    std::string_view section;
    std::string_view key;
    std::string_view defaultValue;

    Text read(const IniFile& settings) const {
        return settings.readText(section, key, Text(defaultValue));
    }
    void write(IniFile& settings, const Text& value) const {
        settings.writeText(section, key, value);
    }
};

// Every key the program reads or writes, each declared here once. The section [Engines] is the
// engine table's: its keys are named after the engines (see loadEngineProfiles).
namespace Settings {

// [Setting]: the backlink sender.
inline constexpr IntSetting ThreadCount{"Setting", "ThreadCount", 8, 1, 20};
inline constexpr IntSetting SendCount{"Setting", "SendCount", 2, 1, 100};
inline constexpr BoolSetting AllowHttps{"Setting", "AllowHttps", false};
inline constexpr BoolSetting FollowRedirects{"Setting", "FollowRedirects", false};
// Seconds a whole fetch may take.
inline constexpr IntSetting FetchTimeLimit{"Setting", "FetchTimeLimit", 60, 1, 3600};

// [SortQuery]: the rank query.
inline constexpr BoolSetting SortToDB{"SortQuery", "SortToDB", true};
// Milliseconds between two result pages: an hour at most, or a run would seem to hang.
inline constexpr IntSetting QuerySleep{"SortQuery", "QuerySleep", 2000, 0, 3600 * 1000};
// Results looked at.
inline constexpr IntSetting Depth{"SortQuery", "Depth", 500, 1, 1000};
// Results asked for a page; the engine's own largest page size applies as well.
inline constexpr IntSetting PageSize{"SortQuery", "PageSize", 10, 1, 100};
// Seconds a batch waits for a person to pass a verification page before it skips the query as
// blocked; 0 waits for as long as it takes.
inline constexpr IntSetting VerificationWait{"SortQuery", "VerificationWait", 0, 0, 86400};
// Seconds a result page may take to load.
inline constexpr IntSetting PageTimeout{"SortQuery", "PageTimeout", 60, 1, 3600};

// [Window]: the main window's place and size (0: as designed).
inline constexpr IntSetting WindowLeft{"Window", "Left", 0};
inline constexpr IntSetting WindowTop{"Window", "Top", 0};
inline constexpr IntSetting WindowWidth{"Window", "Width", 0};
inline constexpr IntSetting WindowHeight{"Window", "Height", 0};
inline constexpr BoolSetting WindowMaximized{"Window", "Maximized", false};
// The tab shown last: 0 "外链群发", 1 "排名查询".
inline constexpr IntSetting WindowTab{"Window", "Tab", 0, 0, 1};

// [Database]: where the rank history lives. An empty Url means "Sort.mdb" in the program folder;
// postgresql://user@host:port/dbname a shared PostgreSQL database, whose password is the
// PostgreSQL client's own (PGPASSWORD, ~/.pgpass) unless Password gives one.
inline constexpr TextSetting DatabaseUrl{"Database", "Url", ""};
inline constexpr TextSetting DatabasePassword{"Database", "Password", ""};
// How long a batch worker's claim on a query holds without being renewed, in seconds: a worker
// that died gives its queries back after this long.
inline constexpr IntSetting ClaimLease{"Database", "LeaseSeconds", 600, 5, 86400};

// Every whole-number key, for the check of the values a file holds.
inline constexpr const IntSetting* kIntSettings[] = {
    &ThreadCount, &SendCount,    &FetchTimeLimit,   &QuerySleep, &Depth,
    &PageSize,    &PageTimeout,  &VerificationWait, &WindowLeft, &WindowTop,
    &WindowWidth, &WindowHeight, &ClaimLease,
};

} // namespace Settings

// One line for each whole-number key whose value the program does not take as written, saying
// what it uses instead: "Setting.ini [SortQuery] QuerySleep=2000000000 is out of range (0 to
// 3600000); 3600000 is used". Empty when every value is taken as written. Throws as reads do.
QStringList settingsWarnings(const IniFile& settings);
