#pragma once

#include "text/text.h"

#include <QString>
#include <QStringList>
#include <vector>

class IniFile;

// The three engines every build knows keep their numbers: 0 百度, 1 搜狗, 2 好搜. Engines a user
// adds in the settings file follow from 3. In the batch list 0 means all engines and n the
// engine n - 1.
inline constexpr int kBuiltInEngines = 3;

// How a result page is read.
enum class ScanMode {
    Recipe,  // the page's result blocks, found by CSS selectors, each with its destination
    Markers, // the older layout: the page text cut into results at text markers
};

// Which elements of a loaded page are results and where each one leads. Selectors are CSS;
// patterns are regular expressions (Perl syntax). Everything is data, so a user can follow an
// engine's change of markup in the settings file.
struct ResultRecipe {
    QString blocks;         // the result list's blocks, in page order
    QString skip;           // a block that matches, or holds a match, is no result (ads, cards)
    QString urlFrom;        // the element of a block that carries the destination; empty: the block
    QString urlAttribute;   // the attribute holding the destination
    QString title;          // the element of a block whose text is the result's title
    QString notDestination; // hosts that are the engine's own pseudo destinations
    QString pager;          // the pager; when it is shown without a next link, the page is the last
    QString next;           // the next-page link inside the page
    QString nextText;       // the next-page link's text must hold this, when given
    QString blockedUrl;     // the page's address (after redirects) shows a verification page
    QString blockedTitle;   // the page's title shows one
    QString blockedSelector; // an element that only a verification page holds
    QString blockedText;     // text that only a verification page holds
    QString noResults;       // text of a page that says nothing matched the keyword
};

struct EngineProfile {
    Text key;     // "baidu": the name on the command line and in the settings file
    QString name; // "百度": what the windows, the history and the report show
    Text address; // scheme, host and optionally port, e.g. "https://www.baidu.com"
    // The rest of a result page's address; {keyword}, {page} (from 1), {offset} (of the page's
    // first result, from 0), {first} (from 1) and {size} are filled in.
    Text pagePath;
    Text pageSizeParam; // added to the address when the page size is not the usual 10
    int maxPageSize = 10;
    ScanMode mode = ScanMode::Recipe;

    // The text-marker scan: all lower case, GBK.
    Text delimiter; // cuts the result list into results
    Text listStart; // where the result list begins; empty: at the page's start
    Text listEnd;   // where it ends; empty: at the page's end
    // The delimiter stands before each result (Haosou's heading) rather than after it (Baidu's
    // and Sogou's), so the text before the first one is no result.
    bool delimiterOpens = false;

    ResultRecipe recipe;
};

// By engine number.
using EngineProfiles = std::vector<EngineProfile>;

const EngineProfiles& defaultEngineProfiles();
// The built-in engines with what the section "Engines" of the settings file overrides, and
// the engines it adds, read afresh at each call. An engine address that is no http(s) address
// of a host, or a result page's address without {keyword}, throws AppError naming the key.
EngineProfiles loadEngineProfiles(const IniFile& settings);
// What the engine table holds that is not used as written ("Added" names more engines than
// the program keeps); empty when all of it is.
QStringList engineTableWarnings(const IniFile& settings);

// The table the windows and the history show names from: the built-in one until a program
// loads the user's. UI thread only.
const EngineProfiles& currentEngineProfiles();
void setCurrentEngineProfiles(EngineProfiles profiles);

// The engine with this key, display name or number; -1 when there is none.
int findEngine(const QString& name, const EngineProfiles& profiles = currentEngineProfiles());

// The address of a result page (page counts from 1); empty for an engine not in the table.
Text BuildResultPageUrl(std::string_view keyword, int engine, int page,
                        const EngineProfiles& profiles = defaultEngineProfiles(),
                        int pageSize = 10);

// The page size an engine is asked for: the wish, within what the engine serves.
int effectivePageSize(const EngineProfile& profile, int wished);

// The keyword for an address: GBK decoded, then every character other than the printable
// ASCII ones (and * # % < > space [ ] & = + ?) as UTF-8 percent groups.
Text EncodeKeyword(std::string_view keyword);

// The engine column of the history grid: the engine's name, else empty.
QString SortQuerySearcherTypeGetText(int engine,
                                     const EngineProfiles& profiles = currentEngineProfiles());
// The engine column of the batch grid: 全部, then the engines' names, else empty.
QString BatchQuerySearcherTypeGetText(int code,
                                      const EngineProfiles& profiles = currentEngineProfiles());
