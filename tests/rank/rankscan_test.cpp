#include "rank/engines.h"
#include "rank/pumpwait.h"
#include "rank/rankscan.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <gtest/gtest.h>

namespace {

constexpr int kBaidu = 0;
constexpr int kSogou = 1;
constexpr int kHaosou = 2;
const Text kSite = "www.target-site.cn";

// Where the site shows on a page built by CapturedPage.
struct Layout {
    int result = -1;          // 0-9: in that result's shown address; -1: in none
    bool beforeList = false;  // in the header, ahead of the list start marker
    bool beforeFirst = false; // inside the list, ahead of the first result (Haosou's tips)
    bool listStart = true;    // false: the page lacks the list start marker
};

// A result page as the browser hands it over once lower-cased: attribute values quoted, tag
// names in lower case. The site also sits in a script, a comment and an attribute of the first
// result, none of which is text.
Text capturedPage(int engine, const Layout& at) {
    auto result = [&](int i) {
        const Text url = i == at.result ? "<b>www.target-site</b>.cn/seo"
                                        : "www.r" + std::to_string(i) + ".org/";
        const Text decoys = i == 0 ? "<script>var s = \"" + kSite + "\";</script><!-- " + kSite +
                                         " --><a href=\"http://" + kSite + "/\"></a>"
                                   : "";
        switch (engine) {
        case kBaidu:
            // 百度快照</a> ends every result.
            return "<div class=\"result\">" + decoys + "<h3><a href=\"#\">title&nbsp;" +
                   std::to_string(i) + "</a></h3><span class=\"c-showurl\">" + url +
                   "</span> <a href=\"http://cache/\">\xB0\xD9\xB6\xC8\xBF\xEC\xD5\xD5</a></div>";
        case kSogou:
            return Text(i > 0 ? "<!-- z -->  <!-- a -->" : "") + "<div class=\"vrwrap\">" + decoys +
                   "<h3><a href=\"#\">title &amp; " + std::to_string(i) + "</a></h3><cite>" + url +
                   "</cite></div>";
        default:
            return "<li class=\"res-list\"><h3 class=\"res-title\"><a href=\"#\">title " +
                   std::to_string(i) + "</a></h3>" + decoys + "<cite>" + url + "</cite></li>";
        }
    };
    Text results;
    for (int i = 0; i < 10; ++i)
        results += result(i);
    const Text header = "<div id=\"header\"><input name=\"wd\" value=\"seo\">" +
                        Text(at.beforeList ? "<div>" + kSite + "</div>" : "") + "</div>";
    const Text lead = at.beforeFirst ? "<div class=\"tips\">" + kSite + "</div>"
                                     : "<div class=\"tips\">seo</div>";
    Text list;
    switch (engine) {
    case kBaidu:
        list = "<div id=\"content_left\">" + results + "</div>";
        break;
    case kSogou:
        list = Text(at.listStart ? "<div class=\"results\">" : "<div class=\"main\">") + results +
               "</div>";
        break;
    default:
        list = Text(at.listStart ? "<div id=\"main\">" : "<div id=\"content\">") + lead + "<ul>" +
               results + "</ul></div>";
    }
    return "<html><head><title>seo</title><style>.c-showurl{}</style></head><body>" + header +
           list + "<div id=\"page\">page</div></body></html>";
}

TEST(RankOnPage, CountsToTheFirstResultThatShowsTheSite) {
    const struct {
        const char* name;
        int engine;
        int page;
        Layout at;
        int rank;
    } cases[] = {
        {"Baidu, third result", kBaidu, 1, {.result = 2}, 3},
        {"Baidu, page 2, first result", kBaidu, 2, {.result = 0}, 11},
        {"Baidu, page 50, last result", kBaidu, 50, {.result = 9}, 500},
        {"Sogou, first result", kSogou, 1, {.result = 0}, 1},
        {"Sogou, seventh result of page 4", kSogou, 4, {.result = 6}, 37},
        {"Sogou, site also in the header", kSogou, 1, {.result = 5, .beforeList = true}, 6},
        {"Sogou, site only before the list", kSogou, 1, {.beforeList = true}, 0},
        {"Sogou, no list start marker", kSogou, 1, {.result = 3, .listStart = false}, 0},
        {"Haosou, first result", kHaosou, 1, {.result = 0}, 1},
        {"Haosou, last result of page 3", kHaosou, 3, {.result = 9}, 30},
        {"Haosou, site only before the first result", kHaosou, 1, {.beforeFirst = true}, 0},
        {"Haosou, before the first result and in the fifth",
         kHaosou,
         1,
         {.result = 4, .beforeFirst = true},
         5},
        {"Haosou, site only before the list", kHaosou, 1, {.beforeList = true}, 0},
        {"Haosou, no list start marker", kHaosou, 1, {.result = 3, .listStart = false}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const EngineProfile& profile = defaultEngineProfiles()[static_cast<size_t>(c.engine)];
        EXPECT_EQ(rankOnPage(capturedPage(c.engine, c.at), kSite, profile, c.page), c.rank);
    }
}

TEST(RankOnPage, EmptySearchKeyIsFoundNowhere) {
    const EngineProfile& baidu = defaultEngineProfiles()[kBaidu];
    EXPECT_EQ(rankOnPage(capturedPage(kBaidu, {.result = 0}), "", baidu, 1), 0);
}

// PumpWait against a clock that the test moves: each reading advances it by step.
TEST(PumpWait, EndsByTheTickCount) {
    const struct {
        const char* name;
        uint32_t start;
        uint32_t step;
        int32_t milliseconds;
        int readings; // t0 and every t up to the one that ends the wait
    } cases[] = {
        {"zero: one round", 1000, 0, 0, 2},
        {"negative: one round", 1000, 0, -5, 2},
        {"ends as soon as elapsed reaches the time", 1000, 3, 9, 4},
        {"ends when elapsed passes the time", 1000, 3, 10, 5},
        {"count passes the largest signed value", 0x7FFFFFF0u, 8, 1000000, 3},
        {"count wraps from all ones to zero", 0xFFFFFFF0u, 8, 20, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int readings = 0;
        uint32_t now = c.start;
        // Past the expected end the clock leaps, so a wait that misses its end stops soon
        // and shows up in the count instead of hanging the test.
        auto tick = [&] {
            const uint32_t t = now;
            now += readings < c.readings ? c.step : 0x10000000u;
            ++readings;
            return t;
        };
        bool dispatched = false;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { dispatched = true; }, Qt::QueuedConnection);
        PumpWait(c.milliseconds, tick);
        EXPECT_EQ(readings, c.readings);
        EXPECT_TRUE(dispatched);
    }
}

} // namespace
