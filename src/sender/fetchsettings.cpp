#include "fetchsettings.h"

#include "httpfetch.h"
#include "inifile.h"

void ReadFetchSettings(const IniFile& settings, FetchOptions& options) {
    options.allowHttps = settings.readBool("Setting", "AllowHttps", false);
    options.followRedirects = settings.readBool("Setting", "FollowRedirects", false);
}
