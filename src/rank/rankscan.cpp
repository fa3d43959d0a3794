#include "rankscan.h"

#include "codepage.h"
#include "htmltotext.h"
#include "inifile.h"
#include "linewriter.h"
#include "pageloader.h"
#include "resultrecipe.h"
#include "statussink.h"
#include "strsearch.h"

#include <QRegularExpression>
#include <chrono>
#include <thread>

namespace {

constexpr int kMarkerPages = 50;
constexpr int kResultsPerPage = 10;
const Text kDone = "\xCD\xEA\xB3\xC9"; // "完成"

bool Mentions(const Text& lowerHtml, const Text& searchKey) {
    return !searchKey.empty() && HtmlToText(lowerHtml, "").find(searchKey) != Text::npos;
}

// An empty pattern matches nothing; so does one the user wrote wrongly.
bool Shows(const QString& pattern, const QString& text) {
    if (pattern.isEmpty())
        return false;
    const QRegularExpression expression(pattern);
    return expression.isValid() && expression.match(text).hasMatch();
}

QueryResult Ended(Outcome outcome, QString reason) {
    QueryResult result;
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

} // namespace

struct RankScanner::Query {
    EngineProfiles profiles;
    EngineProfile profile;
    int engine = 0;
    Text site; // trimmed, in the user's case
    Text keyword;
    int pause = 0;
    int pageSize = kResultsPerPage;
    std::chrono::milliseconds loadLimit{60000};
    Text lowerHtml; // the page loaded last
    int pages = 0;
};

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

QueryResult RankScanner::QueryRank(const Text& site, const Text& keyword, int engine) {
    Query q;
    q.profiles = LoadEngineProfiles(m_settings);
    q.engine = engine;
    if (engine >= 0 && engine < static_cast<int>(q.profiles.size()))
        q.profile = q.profiles[static_cast<size_t>(engine)];
    q.site = TrimText(site);
    q.keyword = TrimText(keyword);
    // A negative pause would never end on some platforms; it counts as none.
    q.pause = std::max(0, m_settings.readInteger("SortQuery", "QuerySleep", 2000));
    q.pageSize = EffectivePageSize(
        q.profile, m_settings.readInteger("SortQuery", "PageSize", kResultsPerPage));
    q.loadLimit = std::chrono::seconds(
        std::clamp(m_settings.readInteger("SortQuery", "PageTimeout", 60), 1, 3600));

    QueryResult result = q.profile.mode == ScanMode::Markers ? scanByMarkers(q) : scanByRecipe(q);
    result.pages = q.pages;
    switch (result.outcome) {
    case Outcome::Ranked:
    case Outcome::NotFound:
        m_status.SetStatusText(kDone);
        if (m_settings.readBool("SortQuery", "SortToDB", true))
            m_store(q.site, q.keyword, engine, result);
        break;
    case Outcome::Blocked:
    case Outcome::Failed:
        m_status.SetStatusText(QStringToGbk(
            (result.outcome == Outcome::Blocked
                 ? QStringLiteral("%1 显示了验证页面，查询已中止: %2")
                 : QStringLiteral("%1 查询失败: %2"))
                .arg(q.profile.name.isEmpty() ? QStringLiteral("搜索引擎") : q.profile.name,
                     result.reason)));
        break;
    case Outcome::Stopped:
        break;
    }
    return result;
}

void RankScanner::pause(const Query& q) const {
    std::this_thread::sleep_for(std::chrono::milliseconds(q.pause));
}

bool RankScanner::takeStop() {
    if (!StopRequested)
        return false;
    StopRequested = false;
    return true;
}

std::optional<QueryResult> RankScanner::loadPage(Query& q, int page) {
    ShowPageStatus(page);
    const LoadedPage loaded = m_browser.loadPage(
        BuildResultPageUrl(q.keyword, q.engine, page, q.profiles, q.pageSize), q.loadLimit);
    ++q.pages;
    // The page just loaded: an empty address navigates nowhere.
    q.lowerHtml = LowerText(m_browser.GetBrowserHtml({}));
    AppendLineToFile(m_programDir + QStringLiteral("temp.txt"), q.lowerHtml, true, true);
    // A verification page may come with an error status: what it is matters more.
    const ResultRecipe& recipe = q.profile.recipe;
    if (Shows(recipe.blockedUrl, loaded.url) || Shows(recipe.blockedTitle, loaded.title))
        return Ended(Outcome::Blocked,
                     QStringLiteral("第 %1 页是验证页面 (%2)").arg(page).arg(loaded.url));
    if (loaded.status != LoadedPage::Status::Loaded)
        return Ended(Outcome::Failed, QStringLiteral("第 %1 页: %2").arg(page).arg(loaded.error));
    return std::nullopt;
}

QueryResult RankScanner::scanByMarkers(Query& q) {
    const Text searchKey = LowerText(q.site);
    // The text-marker scan reads pages of ten results.
    q.pageSize = kResultsPerPage;
    int page = 1;
    if (auto ended = loadPage(q, page))
        return *ended;
    bool found = Mentions(q.lowerHtml, searchKey);
    for (int next = 2; !found && next <= kMarkerPages; ++next) {
        pause(q);
        if (auto ended = loadPage(q, next))
            return *ended;
        found = Mentions(q.lowerHtml, searchKey);
        page = next;
        if (takeStop())
            return Ended(Outcome::Stopped, {});
    }
    QueryResult result;
    result.rank = found ? RankOnPage(q.lowerHtml, searchKey, q.profile, page) : 0;
    result.outcome = result.rank > 0 ? Outcome::Ranked : Outcome::NotFound;
    return result;
}

QueryResult RankScanner::scanByRecipe(Query& q) {
    const ResultRecipe& recipe = q.profile.recipe;
    const SiteMatcher matcher(GbkToQString(q.site));
    const int depth = std::clamp(m_settings.readInteger("SortQuery", "Depth", 500), 1, 1000);
    const int lastPage = (depth + q.pageSize - 1) / q.pageSize;
    const QString script = ResultScript(recipe);
    QueryResult result;
    for (int page = 1; page <= lastPage; ++page) {
        if (page > 1)
            pause(q);
        if (auto ended = loadPage(q, page))
            return *ended;
        const PageReading reading = ReadPageAnswer(m_browser.runScript(script));
        if (!reading.error.isEmpty())
            return Ended(
                Outcome::Failed,
                QStringLiteral("第 %1 页无法按结果配方读取: %2").arg(page).arg(reading.error));
        if (reading.blockedSign || Shows(recipe.blockedText, reading.text))
            return Ended(Outcome::Blocked, QStringLiteral("第 %1 页是验证页面").arg(page));
        std::vector<const PageResult*> results;
        for (const PageResult& r : reading.results)
            if (IsDestination(r.url, recipe))
                results.push_back(&r);
        if (results.empty()) {
            // A first page without results must say so; otherwise the recipe no longer fits.
            if (page == 1 && !Shows(recipe.noResults, reading.text))
                return Ended(Outcome::Failed,
                             (reading.blocks == 0
                                  ? QStringLiteral("第 1 页没有结果块")
                                  : QStringLiteral("第 1 页的 %1 个结果块都没有目的网址")
                                        .arg(reading.blocks)) +
                                 QStringLiteral("，页面布局可能已改变"));
            break;
        }
        bool found = false;
        for (const PageResult* r : results) {
            ++result.results;
            if (matcher.matches(r->url)) {
                result.outcome = Outcome::Ranked;
                result.rank = result.results;
                result.url = r->url;
                found = true;
                break;
            }
        }
        if (page > 1 && takeStop())
            return Ended(Outcome::Stopped, {});
        if (found || IsLastPage(recipe, reading))
            break;
    }
    return result;
}
