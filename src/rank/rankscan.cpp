#include "rank/rankscan.h"

#include "core/datafiles.h"
#include "core/settingkeys.h"
#include "core/statussink.h"
#include "rank/resultrecipe.h"
#include "store/rankdb.h"
#include "text/apperror.h"
#include "text/codepage.h"
#include "text/htmltotext.h"
#include "text/inifile.h"
#include "text/linewriter.h"
#include "text/strsearch.h"

#include <QScopeGuard>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int kMarkerPages = 50;
constexpr int kResultsPerPage = 10;

} // namespace

// A query of the scan under way.
struct RankScan::Member {
    size_t query;
    Text site;      // trimmed, in the user's case
    Text searchKey; // lower-cased, for the text-marker scan
    SiteMatcher matcher;
    std::optional<QueryResult> result;
};

// One keyword on one engine, for one or more sites.
struct RankScan::Scan {
    Text keyword;
    int engine = 0;
    std::vector<Member> members;
    EngineProfiles profiles;
    EngineProfile profile;
    QString script;
    int pause = 0;
    bool storing = true;
    int verificationWait = 0; // seconds; 0: no limit
    int pageSize = kResultsPerPage;
    int lastPage = kMarkerPages;
    std::chrono::milliseconds loadLimit{60000};
    int page = 0;
    int pages = 0;   // loaded
    int results = 0; // counted on the pages before
    Text lowerHtml;  // the page loaded last
};

int rankOnPage(const Text& lowerHtml, const Text& searchKey, const EngineProfile& profile,
               int page) {
    const Text region =
        profile.listStart.empty() && profile.listEnd.empty()
            ? lowerHtml
            : ExtractBetween(lowerHtml, profile.listStart, profile.listEnd, false, false, 1);
    const TextList pieces = SplitText(region, profile.delimiter, true);
    // With a delimiter that opens each result, results are counted from the first delimiter.
    const size_t first = profile.delimiterOpens ? 1 : 0;
    for (size_t j = first; j < pieces.size(); ++j)
        if (!searchKey.empty() && HtmlToText(pieces[j], "").find(searchKey) != Text::npos)
            return kResultsPerPage * (page - 1) + static_cast<int>(j - first) + 1;
    return 0;
}

RankScan::RankScan(PageLoader& browser, StatusSink& status, const IniFile& settings,
                   QString programDir, bool& stopRequested, Store store, QObject* parent)
    : QObject(parent), m_browser(browser), m_status(status), m_settings(settings),
      m_programDir(std::move(programDir)), StopRequested(stopRequested), m_store(std::move(store)) {
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &RankScan::loadPage);
    m_verificationLimit.setSingleShot(true);
    connect(&m_verificationLimit, &QTimer::timeout, this, [this] {
        skipVerification(QStringLiteral("等了 %1 秒仍未完成验证，已跳过")
                             .arg(m_verificationLimit.interval() / 1000));
    });
}

RankScan::~RankScan() {
    // No answer of the browser may reach a scan that is gone.
    if (m_running)
        m_browser.cancel();
}

void RankScan::ShowPageStatus(int page) {
    // "在第 n 页中查找"
    m_status.SetStatusText("\xD4\xDA\xB5\xDA " + std::to_string(page) +
                           " \xD2\xB3\xD6\xD0\xB2\xE9\xD5\xD2");
}

void RankScan::start(std::vector<RankQuery> queries) {
    m_queries = std::move(queries);
    m_outcomes.assign(m_queries.size(), std::nullopt);
    m_emitted = 0;
    m_scans.clear();
    m_current = 0;
    m_stopping = false;
    m_fileError.clear();
    m_running = true;
    for (size_t i = 0; i < m_queries.size(); ++i) {
        const RankQuery& q = m_queries[i];
        const Text keyword = trimText(q.keyword);
        auto same = std::find_if(m_scans.begin(), m_scans.end(), [&](const Scan& s) {
            return s.keyword == keyword && s.engine == q.engine;
        });
        if (same == m_scans.end()) {
            m_scans.push_back(Scan{});
            same = m_scans.end() - 1;
            same->keyword = keyword;
            same->engine = q.engine;
        }
        const Text site = trimText(q.site);
        same->members.push_back({i, site, lowerText(site), SiteMatcher(gbkToQString(site)), {}});
    }
    // Returns first: whoever started the run connects and gets every signal.
    QTimer::singleShot(0, this, &RankScan::begin);
}

void RankScan::begin() {
    if (!m_running)
        return;
    // The event loop runs this: a settings file that cannot be read ends the run with its error.
    bool storing = true;
    try {
        storing = Settings::SortToDB.read(m_settings);
    } catch (const AppError& e) {
        emit error(e.message());
        finish(false);
        return;
    }
    // The database would refuse the rank only after every page had been loaded: the same
    // words now, before the first.
    if (storing) {
        for (const RankQuery& q : m_queries) {
            if (const QString refused = rankFieldsError(trimText(q.site), trimText(q.keyword));
                !refused.isEmpty()) {
                emit error(refused);
                finish(false);
                return;
            }
        }
    }
    QueryRank();
}

void RankScan::stop() {
    if (!m_running)
        return;
    m_stopping = true;
    // A pause ends at once: the page before it was the last; so does a wait for a person.
    if (m_pause.isActive()) {
        m_pause.stop();
        afterPage(false);
    } else if (m_waiting) {
        stopNow();
    }
}

void RankScan::abort() {
    if (!m_running)
        return;
    // A store waiting for the database lets events in: the run ends after it, without
    // pulling the scan from under it.
    if (m_storing) {
        m_stopping = true;
        return;
    }
    m_browser.cancel();
    m_pause.stop();
    if (m_current < m_scans.size())
        stopNow();
    else
        finish(true);
}

void RankScan::skipVerification(const QString& reason) {
    if (!m_running || !m_waiting)
        return;
    m_verificationLimit.stop();
    m_waiting = false;
    m_browser.cancel();
    emit verificationSkipped();
    endScan(Outcome::Blocked, reason);
}

void RankScan::stopNow() {
    Scan& s = m_scans[m_current];
    m_waiting = false;
    m_verificationLimit.stop();
    StopRequested = false;
    for (Member& m : s.members)
        settle(m.query, QueryResult{Outcome::Stopped, 0, {}, {}, s.pages, s.results});
    finish(true);
}

void RankScan::blocked(const QString& reason) {
    if (!m_solveBlocks) {
        endScan(Outcome::Blocked, reason);
        return;
    }
    const Scan& s = m_scans[m_current];
    m_waiting = true;
    m_status.SetStatusText(qStringToGbk(QStringLiteral("请在下方完成验证，完成后查询自动继续")));
    emit verificationNeeded(s.profile.name);
    awaitVerification();
    if (s.verificationWait > 0)
        m_verificationLimit.start(s.verificationWait * 1000);
}

void RankScan::awaitVerification() {
    m_browser.waitForNavigation([this](const LoadedPage& loaded) { navigated(loaded); });
}

// A person did something in the verification page: passed it, or not yet.
void RankScan::navigated(const LoadedPage& loaded) {
    if (m_stopping || StopRequested) {
        stopNow();
        return;
    }
    const Scan& s = m_scans[m_current];
    const ResultRecipe& recipe = s.profile.recipe;
    if (showsBlock(recipe, loaded)) {
        awaitVerification();
        return;
    }
    auto passed = [this] {
        m_waiting = false;
        m_verificationLimit.stop();
        emit verificationPassed();
        // The result page again, now that the engine lets the browser through.
        loadPage();
    };
    if (s.profile.mode == ScanMode::Markers) {
        passed();
        return;
    }
    m_browser.runScript(s.script, [this, passed, &recipe](const QString& answer) {
        if (showsBlock(recipe, readPageAnswer(answer)))
            awaitVerification();
        else
            passed();
    });
}

void RankScan::QueryRank() {
    if (!m_running)
        return;
    if (m_stopping || StopRequested) {
        StopRequested = false;
        finish(true);
        return;
    }
    if (m_current >= m_scans.size()) {
        finish(false);
        return;
    }
    Scan& s = m_scans[m_current];
    // Read afresh for each scan: a change in the settings counts from the next query.
    try {
        s.profiles = loadEngineProfiles(m_settings);
        if (s.engine >= 0 && s.engine < static_cast<int>(s.profiles.size()))
            s.profile = s.profiles[static_cast<size_t>(s.engine)];
        s.storing = Settings::SortToDB.read(m_settings);
        s.pause = Settings::QuerySleep.readInRange(m_settings);
        s.verificationWait = Settings::VerificationWait.readInRange(m_settings);
        s.loadLimit = std::chrono::seconds(Settings::PageTimeout.readInRange(m_settings));
        if (s.profile.mode == ScanMode::Recipe) {
            s.pageSize = effectivePageSize(s.profile, Settings::PageSize.readInRange(m_settings));
            const int depth = Settings::Depth.readInRange(m_settings);
            s.lastPage = (depth + s.pageSize - 1) / s.pageSize;
            s.script = resultScript(s.profile.recipe);
        }
    } catch (const AppError& e) {
        // The event loop runs this: the settings' error ends the run as a database error does.
        emit error(e.message());
        finish(false);
        return;
    }
    s.page = 1;
    loadPage();
}

void RankScan::loadPage() {
    Scan& s = m_scans[m_current];
    emit progress(static_cast<int>(s.members.front().query) + 1, static_cast<int>(m_queries.size()),
                  s.page);
    ShowPageStatus(s.page);
    m_browser.loadPage(BuildResultPageUrl(s.keyword, s.engine, s.page, s.profiles, s.pageSize),
                       s.loadLimit, [this](const LoadedPage& loaded) { pageLoaded(loaded); });
}

void RankScan::pageLoaded(const LoadedPage& loaded) {
    // The page just loaded: an empty address navigates nowhere.
    m_browser.GetBrowserHtml({}, [this, loaded](const Text& html) { pageHtml(loaded, html); });
}

void RankScan::pageHtml(const LoadedPage& loaded, const Text& html) {
    Scan& s = m_scans[m_current];
    ++s.pages;
    s.lowerHtml = lowerText(html);
    const QString temp = m_programDir + DataFiles::LastPage;
    errno = 0;
    if (!AppendLineToFile(temp, s.lowerHtml, true, true) && m_fileError.isEmpty()) {
        const int failure = errno;
        m_fileError =
            QStringLiteral("Cannot write file %1").arg(temp) +
            (failure ? QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(failure))
                     : QString()) +
            QStringLiteral("; the ranks are not affected");
    }
    // A verification page may come with an error status: what it is matters more.
    if (showsBlock(s.profile.recipe, loaded)) {
        blocked(QStringLiteral("第 %1 页是验证页面 (%2)").arg(s.page).arg(loaded.url));
        return;
    }
    if (loaded.status != LoadedPage::Status::Loaded) {
        endScan(Outcome::Failed, QStringLiteral("第 %1 页: %2").arg(s.page).arg(loaded.error));
        return;
    }
    if (s.profile.mode == ScanMode::Markers)
        readByMarkers();
    else
        m_browser.runScript(s.script, [this](const QString& answer) { readByRecipe(answer); });
}

void RankScan::readByMarkers() {
    Scan& s = m_scans[m_current];
    const Text text = HtmlToText(s.lowerHtml, "");
    for (Member& m : s.members) {
        // The first page that mentions the site decides: its pieces give the rank, or none.
        if (m.result || m.searchKey.empty() || text.find(m.searchKey) == Text::npos)
            continue;
        QueryResult r;
        r.rank = rankOnPage(s.lowerHtml, m.searchKey, s.profile, s.page);
        r.outcome = r.rank > 0 ? Outcome::Ranked : Outcome::NotFound;
        m.result = r;
    }
    afterPage(false);
}

void RankScan::readByRecipe(const QString& answer) {
    Scan& s = m_scans[m_current];
    const ResultRecipe& recipe = s.profile.recipe;
    const PageReading reading = readPageAnswer(answer);
    if (!reading.error.isEmpty()) {
        endScan(Outcome::Failed,
                QStringLiteral("第 %1 页无法按结果配方读取: %2").arg(s.page).arg(reading.error));
        return;
    }
    if (showsBlock(recipe, reading)) {
        blocked(QStringLiteral("第 %1 页是验证页面").arg(s.page));
        return;
    }
    std::vector<const PageResult*> results;
    for (const PageResult& r : reading.results)
        if (isDestination(r.url, recipe))
            results.push_back(&r);
    if (results.empty()) {
        // A first page without results must say so; otherwise the recipe no longer fits.
        if (s.page == 1 && !patternMatches(recipe.noResults, reading.text)) {
            endScan(
                Outcome::Failed,
                (reading.blocks == 0
                     ? QStringLiteral("第 1 页没有结果块")
                     : QStringLiteral("第 1 页的 %1 个结果块都没有目的网址").arg(reading.blocks)) +
                    QStringLiteral("，页面布局可能已改变"));
            return;
        }
        afterPage(true);
        return;
    }
    for (Member& m : s.members) {
        if (m.result)
            continue;
        for (size_t i = 0; i < results.size(); ++i) {
            if (m.matcher.matches(results[i]->url)) {
                QueryResult r;
                r.outcome = Outcome::Ranked;
                r.rank = s.results + static_cast<int>(i) + 1;
                r.url = results[i]->url;
                m.result = r;
                break;
            }
        }
    }
    s.results += static_cast<int>(results.size());
    afterPage(isLastPage(recipe, reading));
}

void RankScan::afterPage(bool last) {
    Scan& s = m_scans[m_current];
    if (m_stopping || StopRequested) {
        stopNow();
        return;
    }
    const bool allFound = std::all_of(s.members.begin(), s.members.end(),
                                      [](const Member& m) { return m.result.has_value(); });
    if (!allFound && !last && s.page < s.lastPage) {
        ++s.page;
        m_pause.start(s.pause);
        return;
    }
    endScan(Outcome::NotFound, {});
}

// The scan under way ends: members without a result get outcome; results are stored.
void RankScan::endScan(Outcome unfinished, const QString& reason) {
    Scan& s = m_scans[m_current];
    const bool result = unfinished == Outcome::NotFound;
    if (result) {
        m_status.SetStatusText(kGbkDone);
    } else {
        m_status.SetStatusText(qStringToGbk(
            (unfinished == Outcome::Blocked ? QStringLiteral("%1 显示了验证页面，查询已中止: %2")
                                            : QStringLiteral("%1 查询失败: %2"))
                .arg(s.profile.name.isEmpty() ? QStringLiteral("搜索引擎") : s.profile.name,
                     reason)));
    }
    const bool storing = s.storing;
    for (Member& m : s.members) {
        QueryResult r = m.result && result ? *m.result : QueryResult{};
        if (!m.result || !result) {
            r.outcome = unfinished;
            r.reason = reason;
        }
        r.pages = s.pages;
        r.results = r.outcome == Outcome::Ranked ? r.rank : s.results;
        if (storing && (r.outcome == Outcome::Ranked || r.outcome == Outcome::NotFound)) {
            try {
                m_storing = true;
                const auto storing = qScopeGuard([this] { m_storing = false; });
                r.previous = m_store(m.site, s.keyword, s.engine, r);
                r.stored = true;
            } catch (const AppError& e) {
                emit error(e.message());
                finish(false);
                return;
            }
        }
        settle(m.query, r);
    }
    ++m_current;
    QueryRank();
}

void RankScan::settle(size_t query, QueryResult result) {
    const RankQuery& q = m_queries[query];
    m_outcomes[query] =
        RankOutcome{trimText(q.site), trimText(q.keyword), q.engine, std::move(result)};
    while (m_emitted < m_outcomes.size() && m_outcomes[m_emitted]) {
        const RankOutcome outcome = *m_outcomes[m_emitted++];
        emit queryFinished(outcome);
    }
}

void RankScan::finish(bool stopped) {
    if (!m_running)
        return;
    m_running = false;
    m_pause.stop();
    m_verificationLimit.stop();
    m_waiting = false;
    m_browser.cancel();
    // What finished after a query that never ran is still told, in order.
    for (; m_emitted < m_outcomes.size(); ++m_emitted)
        if (m_outcomes[m_emitted])
            emit queryFinished(*m_outcomes[m_emitted]);
    emit finished(stopped);
}
