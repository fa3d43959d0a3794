#pragma once

#include "testserver.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// The three search engines on a loopback server, and a fourth one ("/search?q=K&first=N") that
// a user adds by settings alone. In the older layout it answers each engine's result-page
// addresses with ten results in that engine's markup (Baidu: every result ends in its snapshot
// link; Sogou: results between a header and the list start, separated by two comments; Haosou:
// a list that opens each result with its heading), with scripts, styles, comments and
// entities around them. In today's markup each page holds the results the engine was asked
// for (Baidu's rn, else ten) among a card without a destination, an ad, and a card with one,
// with the engine's verification page, a server error or silence on the pages a test asks for.
// It counts the pages it serves. Every other request gets 404.
class FakeEngine {
public:
    enum class Charset { Gbk, Utf8, Alternating }; // Alternating: odd pages GBK, even UTF-8
    enum class Markup { Older, Today };

    // How a page of today's markup goes wrong.
    enum class Trouble {
        Captcha302,  // a redirect to the engine's verification page (好搜 and the fourth: 200)
        Captcha200,  // the verification page itself
        ServerError, // HTTP 500
        Silent,      // the request is read and never answered
        NoResults,   // the engine's page for a keyword nothing matched
        // The verification page, with a form that a person submits to pass it, until the
        // browser sends the cookie that passing it sets; then the page as planned.
        CaptchaUntilPassed,
    };

    // A keyword's pages in today's markup. On each page the results counted are numbered
    // (page - 1) * size + index + 1 by the counting rule; index 2 is a card with a destination.
    struct TodayPlan {
        std::map<std::pair<int, int>, std::string> placed{}; // (page, index) -> destination
        std::string snippetSite{};        // named in the snippet of each page's first result
        std::string adUrl{};              // where each page's ad leads
        std::string decoySite{};          // a block outside the result list leads there
        int lastPage = 50;                // later pages have no result blocks
        bool lastHasNext = false;         // the last page still shows a next-page link
        std::map<int, Trouble> trouble{}; // by page
    };

    // Where a keyword's site shows. Text is UTF-8.
    struct Placement {
        std::string site;
        int page = 0;   // 1-50; 0: in no result
        int index = -1; // 0-9 on that page; -1: in no result
        // Shown also in the page header of every page, outside the result list. Baidu's page
        // has no list bounds, so there it counts as the first result.
        bool inHeader = false;
    };

    struct Request {
        int engine;          // 0 Baidu, 1 Sogou, 2 Haosou, 3 the engine added by settings
        int page;            // from 1
        std::string keyword; // decoded from the address, UTF-8
        int size = 10;       // results asked for (Baidu's rn)
        std::string target;  // the address's path and query, as sent
    };

    FakeEngine();

    // "http://127.0.0.1:<port>", what the engine addresses are set to.
    std::string address() const;

    // Result pages for keyword show placement's site. A site also appears on every page inside
    // a script, a style, a comment and attributes of the first result, none of them text.
    void place(const std::string& keyword, Placement placement);
    void setCharset(Charset charset);
    void setMarkup(Markup markup);
    void plan(const std::string& keyword, TodayPlan plan);
    // Called on the server's thread for every result page, before it is answered.
    void setOnPage(std::function<void(const Request&)> onPage);

    int pagesServed() const;
    std::vector<Request> served() const;

    // The page for one request, as UTF-8 markup the way the engine's server writes it.
    static std::string resultPageHtml(int engine, int page, const std::string& keyword,
                                      const Placement& placement, const char* charsetName);
    // The same in today's markup, UTF-8.
    static std::string todayPageHtml(const Request& request, const TodayPlan& plan);

private:
    TestResponse answer(const std::string& request);
    // passed: the request carries the cookie of a passed verification.
    TestResponse answerToday(const Request& request, const TodayPlan& plan, bool passed);

    TestServer m_server;
    mutable std::mutex m_mutex;
    std::map<std::string, Placement> m_placements;
    Charset m_charset = Charset::Alternating;
    Markup m_markup = Markup::Older;
    std::map<std::string, TodayPlan> m_plans;
    std::function<void(const Request&)> m_onPage;
    std::vector<Request> m_served;
};

// Points all three engines at address in <programDir>/Setting.ini and takes the pause between
// result pages away; markers: the engines read pages of the older layout, cut at text markers
// (what this fake engine serves), else by their result recipes. extra: more lines of the
// section "Engines". Returns false when the file cannot be written.
bool writeEngineSettings(const QString& programDir, const std::string& address,
                         bool sortToDb = true, bool markers = true, const std::string& extra = {});

// Stored ranks as "site|keyword|engine|rank", oldest first, read straight from
// <programDir>/Sort.mdb; a missing file is left missing.
QStringList storedRanks(const QString& programDir);
// One such entry.
QString stored(const QString& site, const QString& keyword, int engine, int rank);
// The pages served, as "engine:page:keyword" joined by spaces.
QString served(const std::vector<FakeEngine::Request>& requests);
