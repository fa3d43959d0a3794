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

// One rank query: loads the engine's result pages (at most 50) until one mentions the site,
// then counts to the first result that does. Runs on the UI thread; the browser handles events
// while pages load, so the window can be closed meanwhile, which sets stopRequested.
class RankScanner {
public:
    using Store = std::function<void(const Text& site, const Text& keyword, int engine, int rank)>;

    RankScanner(PageLoader& browser, StatusSink& status, const IniFile& settings,
                QString programDir, bool& stopRequested, Store store);

    // 0: not found, or stopped.
    int QueryRank(const Text& site, const Text& keyword, int engine);
    void ShowPageStatus(int page);

private:
    PageLoader& m_browser;
    StatusSink& m_status;
    const IniFile& m_settings;
    const QString m_programDir;
    bool& StopRequested;
    Store m_store;
};
