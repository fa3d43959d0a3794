#include "fetchsettings.h"

#include "httpfetch.h"
#include "inifile.h"

#include <algorithm>

void ReadFetchSettings(const IniFile& settings, FetchOptions& options) {
    options.allowHttps = settings.readBool("Setting", "AllowHttps", false);
    options.followRedirects = settings.readBool("Setting", "FollowRedirects", false);
    // Seconds; a value below 1 would fail every fetch, so it means the least, one second.
    const int limit = settings.readInteger("Setting", "FetchTimeLimit", 60);
    options.totalTimeout = std::chrono::seconds(std::max(1, limit));
}
