#pragma once

#include "text.h"

#include <QString>
#include <array>

class IniFile;

// Engine index: 0 百度, 1 搜狗, 2 好搜. In the batch list 0 means all three and 1-3 the index + 1.
inline constexpr int kEngineCount = 3;

// What differs between the engines. The built-in values can be overridden in the section
// "Engines" of "Setting.ini" (keys such as BaiduAddress, SogouListStart), so a user can follow
// an engine's change of markup without a new build.
struct EngineProfile {
    Text address;   // scheme, host and optionally port, e.g. "https://www.baidu.com"
    Text delimiter; // cuts the result list into results (lower case, GBK)
    Text listStart; // where the result list begins; empty: at the page's start
    Text listEnd;   // where it ends; empty: at the page's end
    // The delimiter stands before each result (Haosou's heading) rather than after it (Baidu's
    // and Sogou's), so the text before the first one is no result.
    bool delimiterOpens = false;
};

using EngineProfiles = std::array<EngineProfile, kEngineCount>;

const EngineProfiles& DefaultEngineProfiles();
// The built-in profiles with what the settings file overrides, read afresh at each call.
EngineProfiles LoadEngineProfiles(const IniFile& settings);

// The address of a result page (page counts from 1); empty for an engine outside 0-2.
Text BuildResultPageUrl(std::string_view keyword, int engine, int page,
                        const EngineProfiles& profiles = DefaultEngineProfiles());

// The keyword for an address: GBK decoded, then every character other than the printable
// ASCII ones (and * # % < > space [ ]) as UTF-8 percent groups.
Text EncodeKeyword(std::string_view keyword);

Text GetResultDelimiter(int engine, const EngineProfiles& profiles = DefaultEngineProfiles());
Text GetListStartMarker(int engine, const EngineProfiles& profiles = DefaultEngineProfiles());
Text GetListEndMarker(int engine, const EngineProfiles& profiles = DefaultEngineProfiles());

// The engine column of the history grid: 百度, 搜狗, 好搜, else empty.
QString SortQuerySearcherTypeGetText(int engine);
// The engine column of the batch grid: 全部, 百度, 搜狗, 好搜, else empty.
QString BatchQuerySearcherTypeGetText(int code);
