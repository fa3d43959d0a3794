#pragma once

#include "engines.h"
#include "text.h"

#include <QString>
#include <functional>

class IniFile;
class PageLoader;
class StatusSink;

// The rank of the first result piece that mentions searchKey on a page found to mention it
// (page counts from 1), or 0 when no piece does. lowerHtml is the lower-cased page.
int RankOnPage(const Text& lowerHtml, const Text& searchKey, const EngineProfile& profile,
               int page);

// How a query ended. Only Ranked and NotFound are results; the others say why there is none.
enum class Outcome {
    Ranked,
    NotFound, // within the depth scanned, or on every page the engine serves
    Blocked,  // the engine showed a verification page
    Failed,   // a page did not load, or could not be read
    Stopped,  // the user ended the run
};

struct QueryResult {
    Outcome outcome = Outcome::NotFound;
    int rank = 0;    // Ranked: the position over all pages
    QString url;     // Ranked: the destination that matched (the text-marker scan has none)
    QString reason;  // Blocked, Failed: what happened, for the user
    int pages = 0;   // result pages loaded
    int results = 0; // results counted on them (the text-marker scan counts none)
};

// One rank query: loads the engine's result pages until the site's result is found, the
// depth is reached or the engine has no more. Runs on the UI thread; the browser handles
// events while pages load, so the window can be closed meanwhile, which sets stopRequested.
class RankScanner {
public:
    // Called for results only (Ranked, NotFound), and only when storing is on.
    using Store = std::function<void(const Text& site, const Text& keyword, int engine,
                                     const QueryResult& result)>;

    RankScanner(PageLoader& browser, StatusSink& status, const IniFile& settings,
                QString programDir, bool& stopRequested, Store store);

    QueryResult QueryRank(const Text& site, const Text& keyword, int engine);
    void ShowPageStatus(int page);

private:
    struct Query;
    QueryResult scanByRecipe(Query& query);
    QueryResult scanByMarkers(Query& query);
    // Loads one page, keeps it in "temp.txt" and tells whether it is a failure or a block.
    std::optional<QueryResult> loadPage(Query& query, int page);
    void pause(const Query& query) const;
    bool takeStop();

    PageLoader& m_browser;
    StatusSink& m_status;
    const IniFile& m_settings;
    const QString m_programDir;
    bool& StopRequested;
    Store m_store;
};
