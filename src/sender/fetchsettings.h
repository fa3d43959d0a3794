#pragma once

class IniFile;
struct FetchOptions;

// The fetch choices kept in "Setting.ini", section [Setting]: AllowHttps and FollowRedirects,
// each off when missing or malformed, and FetchTimeLimit, the seconds a whole fetch may take
// (60 when missing, at least 1). Other fields of options stay as they are.
void readFetchSettings(const IniFile& settings, FetchOptions& options);
