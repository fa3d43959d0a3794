#include "rankscan.h"

#include "htmltotext.h"
#include "inifile.h"
#include "linewriter.h"
#include "pageloader.h"
#include "statussink.h"
#include "strsearch.h"

#include <chrono>
#include <thread>

namespace {

constexpr int kLastPage = 50;
constexpr int kResultsPerPage = 10;
const Text kDone = "\xCD\xEA\xB3\xC9"; // "完成"

bool Mentions(const Text& lowerHtml, const Text& searchKey) {
    return !searchKey.empty() && HtmlToText(lowerHtml, "").find(searchKey) != Text::npos;
}

} // namespace

int RankOnPage(const Text& lowerHtml, const Text& searchKey, const EngineProfile& profile,
               int page) {
    const Text region =
        profile.listStart.empty() && profile.listEnd.empty()
            ? lowerHtml
            : ExtractBetween(lowerHtml, profile.listStart, profile.listEnd, false, false, 1);
    const TextList pieces = SplitText(region, profile.delimiter, true);
    // With a delimiter that opens each result, results are counted from the first delimiter.
    const size_t first = profile.delimiterOpens ? 1 : 0;
    for (size_t j = first; j < pieces.size(); ++j)
        if (Mentions(pieces[j], searchKey))
            return kResultsPerPage * (page - 1) + static_cast<int>(j - first) + 1;
    return 0;
}

RankScanner::RankScanner(PageLoader& browser, StatusSink& status, const IniFile& settings,
                         QString programDir, bool& stopRequested, Store store)
    : m_browser(browser), m_status(status), m_settings(settings),
      m_programDir(std::move(programDir)), StopRequested(stopRequested), m_store(std::move(store)) {
}

void RankScanner::ShowPageStatus(int page) {
    // "在第 n 页中查找"
    m_status.SetStatusText("\xD4\xDA\xB5\xDA " + std::to_string(page) +
                           " \xD2\xB3\xD6\xD0\xB2\xE9\xD5\xD2");
}

int RankScanner::QueryRank(const Text& site, const Text& keyword, int engine) {
    const EngineProfiles profiles = LoadEngineProfiles(m_settings);
    const EngineProfile profile = engine >= 0 && engine < kEngineCount
                                      ? profiles[static_cast<size_t>(engine)]
                                      : EngineProfile{};
    const Text trimmedSite = TrimText(site);
    const Text trimmedKey = TrimText(keyword);
    const Text searchKey = LowerText(trimmedSite);
    // A negative pause would never end on some platforms; it counts as none.
    const int pause = std::max(0, m_settings.readInteger("SortQuery", "QuerySleep", 2000));

    auto load = [&](int page) {
        const Text address = BuildResultPageUrl(trimmedKey, engine, page, profiles);
        ShowPageStatus(page);
        Text lower = LowerText(m_browser.GetBrowserHtml(address));
        AppendLineToFile(m_programDir + QStringLiteral("temp.txt"), lower, true, true);
        return lower;
    };

    int page = 1;
    Text lower = load(page);
    bool found = Mentions(lower, searchKey);
    for (int next = 2; !found && next <= kLastPage; ++next) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        lower = load(next);
        found = Mentions(lower, searchKey);
        page = next;
        if (StopRequested) {
            StopRequested = false;
            return 0;
        }
    }
    m_status.SetStatusText(kDone);

    const int rank = found ? RankOnPage(lower, searchKey, profile, page) : 0;
    if (m_settings.readBool("SortQuery", "SortToDB", true))
        m_store(trimmedSite, trimmedKey, engine, rank);
    return rank;
}
