#include "sender/fetchsettings.h"

#include "core/settingkeys.h"
#include "sender/httpfetch.h"
#include "text/inifile.h"

void readFetchSettings(const IniFile& settings, FetchOptions& options) {
    options.allowHttps = Settings::AllowHttps.read(settings);
    options.followRedirects = Settings::FollowRedirects.read(settings);
    // A value below 1 would fail every fetch, so it means the least, one second.
    options.totalTimeout = std::chrono::seconds(Settings::FetchTimeLimit.readInRange(settings));
}
