#include "todaypages.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace TodayPages {

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

namespace {

constexpr int kBaiduPerPage = 10;

// A one-pixel GIF, so that image slots load nothing from outside.
constexpr std::string_view kPixel =
    "data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7";

// Every byte but the unreserved ones as %XX, the way the engines write their own links.
std::string percentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                           (u >= '0' && u <= '9') || u == '-' || u == '_' || u == '.' || u == '~';
        if (plain) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        }
    }
    return out;
}

// A JSON string literal that is also safe inside a <script> element.
std::string jsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20 || c == '<' || c == '>' || c == '&' || c == '\'') {
            out += "\\u00";
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

// An opaque redirect parameter like the engines' own: fixed for a seed, and never holding a
// dot, so no host can be read out of it.
std::string token(std::string_view seed, size_t length) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    uint64_t h = 14695981039346656037ull;
    for (const char c : seed) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    std::string out;
    while (out.size() < length) {
        h += 0x9e3779b97f4a7c15ull;
        uint64_t z = h;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        for (int i = 0; i < 10 && out.size() < length; ++i, z >>= 6)
            out.push_back(kChars[z & 63]);
    }
    return out;
}

std::string host(std::string_view url) {
    const size_t scheme = url.find("://");
    if (scheme != std::string_view::npos)
        url.remove_prefix(scheme + 3);
    return std::string(url.substr(0, url.find_first_of("/?#")));
}

// The first count characters of UTF-8 text followed by "...", when it is longer.
std::string truncated(const std::string& text, size_t count) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (chars++ == count)
            return text.substr(0, i) + "...";
    }
    return text;
}

// Text with the words of the keyword set between open and close, as the engines mark the
// words of the query.
std::string marked(const std::string& text, const std::string& keyword, std::string_view open,
                   std::string_view close) {
    std::vector<std::string> terms;
    for (size_t from = 0; from < keyword.size();) {
        const size_t space = std::min(keyword.find(' ', from), keyword.size());
        if (space > from)
            terms.push_back(keyword.substr(from, space - from));
        from = space + 1;
    }
    std::string out;
    size_t from = 0;
    for (;;) {
        size_t at = std::string::npos;
        size_t length = 0;
        for (const std::string& term : terms) {
            const size_t found = text.find(term, from);
            if (found < at || (found == at && found != std::string::npos && term.size() > length)) {
                at = found;
                length = term.size();
            }
        }
        if (at == std::string::npos)
            break;
        out += escape(std::string_view(text).substr(from, at - from));
        out += open;
        out += escape(std::string_view(text).substr(at, length));
        out += close;
        from = at + length;
    }
    return out + escape(std::string_view(text).substr(from));
}

std::string shown(const Block& block) {
    return block.shown.empty() ? host(block.url) : block.shown;
}

std::string head(const std::string& title, std::string_view style, const std::string& script) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge,chrome=1\">\n<title>" +
           title + "</title>\n<style>" + std::string(style) + "</style>\n<script>" + script +
           "</script>\n</head>\n";
}

// How many blocks of each kind came before, which picks each block's variant.
struct Seen {
    int web = 0;
    int ad = 0;
    int noUrl = 0;
    int results = 0; // blocks that are no ads
};

std::string date(int n) {
    return "2026年9月" + std::to_string(1 + n % 28) + "日";
}

// ---- 百度 ----

std::string baiduLink(const Block& block, int id) {
    return "http://www.baidu.com/link?url=" + token(block.url + "#" + std::to_string(id), 86);
}

std::string baiduTitle(const Block& block, const std::string& keyword, const std::string& link,
                       bool cosc) {
    const std::string title = marked(block.title, keyword, "<b>", "</b>");
    if (cosc)
        return "<h3 class=\"cosc-title cosc-title-slot\"><a class=\"cosc-title-a\" href=\"" + link +
               "\" target=\"_blank\"><span class=\"cosc-title-slot\">" + title +
               "</span></a></h3>\n";
    return "<h3 class=\"c-title t t tts-title\"><a href=\"" + link +
           "\" target=\"_blank\" data-click=\"{'F':'778317EA','T':'" + token(link, 8) + "'}\">" +
           title + "</a></h3>\n";
}

std::string baiduWeb(const Block& block, const std::string& keyword, int id, const Seen& seen) {
    const std::string n = std::to_string(id);
    const std::string link = baiduLink(block, id);
    const std::string tools =
        "{\"title\":" + jsonString(block.title) + ",\"url\":" + jsonString(link) + "}";
    return "<div class=\"result c-container xpath-log new-pmd\" tpl=\"www_index\" srcid=\"1599\" "
           "id=\"" +
           n + "\" mu=\"" + escape(block.url) + "\" data-op=\"{'y':'" + token(link, 8) +
           "'}\" data-click=\"{'p1':" + n + ",'rsv_bdr':'0','fm':'as'}\">\n" +
           baiduTitle(block, keyword, link, seen.web % 2 == 1) +
           "<div class=\"c-row c-gap-top-small\"><span class=\"c-color-gray2\">" + date(id) +
           "&nbsp;</span><span class=\"content-right_8Zs40\">" +
           marked(block.snippet, keyword, "<em>", "</em>") +
           "</span></div>\n<div class=\"c-row source_1Vdff\"><a class=\"siteLink_9TPP3\" "
           "href=\"" +
           link + "\" target=\"_blank\"><span class=\"c-color-gray\">" + escape(shown(block)) +
           "</span></a></div>\n<div class=\"c-tools\" id=\"tools_" + token(link, 12) + "_" + n +
           "\" data-tools=\"" + escape(tools) + "\"></div>\n</div>\n";
}

// The ad signs vary from ad to ad, as the engine's ad formats do.
std::string baiduAd(const Block& block, const std::string& keyword, int number) {
    const int variant = number % 4;
    const std::string link = "http://www.baidu.com/baidu.php?url=" +
                             token(block.url + "#ad" + std::to_string(number), 120) +
                             "&amp;us=newvui&amp;word=" + percentEncode(keyword);
    std::string label;
    switch (variant) {
    case 0:
        label =
            "<span class=\"c-color-gray\" data-tuiguang=\"" + token(link, 16) + "\">广告</span>";
        break;
    case 1:
        label = "<span class=\"ec-tuiguang ecfc-tuiguang\">广告</span>";
        break;
    case 2:
        label = "<span class=\"c-gray\">广告</span>";
        break;
    default:
        label = "<span class=\"m c-gap-left-small\">品牌广告</span>";
    }
    const std::string landurl =
        variant == 3 ? " data-landurl=\"" + escape(block.url) + "\"" : std::string();
    const std::string body =
        "<h3 class=\"t c-title\"><a href=\"" + link + "\" target=\"_blank\"" + landurl + ">" +
        marked(block.title, keyword, "<b>", "</b>") + "</a></h3>\n<div class=\"c-abstract\">" +
        marked(block.snippet, keyword, "<em>", "</em>") +
        "</div>\n<div class=\"c-row\"><a class=\"c-showurl\" href=\"" + link +
        "\" target=\"_blank\">" + escape(shown(block)) + "</a> " + label + "</div>\n";
    return "<div class=\"result c-container new-pmd\" id=\"" + std::to_string(3001 + number) +
           "\" mu=\"" + escape(block.url) + "\" data-click=\"{'rsv_cd':'pt:40520'}\">\n" +
           (variant == 2 ? "<div class=\"ec_ad ec_ad_results\">\n" + body + "</div>\n" : body) +
           "</div>\n";
}

std::string baiduCardNoUrl(const Block& block, const std::string& keyword, int id, int number) {
    const std::string n = std::to_string(id);
    if (number % 2 == 0)
        return "<div class=\"result-op c-container new-pmd\" tpl=\"new_baikan_index\" "
               "srcid=\"61344\" id=\"" +
               n +
               "\" mu=\"http://nourl.ubs.baidu.com/61344\" data-op=\"{'y':'7FB7FFCF'}\">\n"
               "<div class=\"cos-row\"><span class=\"ai-label_3Kx9q\">AI智能回答</span>"
               "<h3 class=\"cosc-title\"><span class=\"cosc-title-slot\">" +
               marked(block.title, keyword, "<b>", "</b>") +
               "</span></h3></div>\n<div class=\"marklang-paragraph\">" +
               marked(block.snippet, keyword, "<em>", "</em>") + "</div>\n" +
               (block.shown.empty() ? std::string()
                                    : "<div class=\"source-list_2rY1s\">参考资料：<span>" +
                                          escape(block.shown) + "</span></div>\n") +
               "</div>\n";
    const std::string more = percentEncode(keyword + " 教程");
    return "<div class=\"result-op c-container new-pmd\" tpl=\"recommend_list\" srcid=\"28608\" "
           "id=\"" +
           n +
           "\" mu=\"http://28608.recommend_list.baidu.com\" data-op=\"{'y':'FD9FFD6C'}\">\n"
           "<div class=\"c-font-medium c-color-t title_2X3Rq\">" +
           escape(block.title) + "</div>\n<div class=\"list_1V4Yg\"><a href=\"/s?wd=" + more +
           "&amp;rsv_dl=0_prs_28608\">" + escape(keyword) +
           " 教程</a> <a href=\"/s?wd=" + percentEncode(block.snippet) +
           "&amp;rsv_dl=0_prs_28608\">" + escape(block.snippet) + "</a></div>\n</div>\n";
}

std::string baiduCardWithUrl(const Block& block, const std::string& keyword, int id) {
    const std::string link = baiduLink(block, id);
    const std::string source = block.shown.empty() ? std::string("百度百科") : block.shown;
    return "<div class=\"result-op c-container new-pmd\" tpl=\"sg_kg_entity_san\" "
           "srcid=\"51555\" id=\"" +
           std::to_string(id) + "\" mu=\"" + escape(block.url) +
           "\" data-op=\"{'y':'FF3E6F7F'}\">\n" + baiduTitle(block, keyword, link, true) +
           "<div class=\"c-row\"><div class=\"c-span3\"><img class=\"c-img c-img-s\" src=\"" +
           std::string(kPixel) + "\" alt=\"\"></div><div class=\"c-span9 c-span-last\"><p>" +
           marked(block.snippet, keyword, "<em>", "</em>") +
           "</p></div></div>\n<div class=\"c-row\"><a href=\"" + link +
           "\" target=\"_blank\"><span class=\"c-color-gray\">" + escape(source) +
           "</span></a></div>\n</div>\n";
}

// The right column: blocks with the ids the list starts with, one of them with a real host.
std::string baiduRight(const Page& page) {
    std::string first;
    if (!page.decoySite.empty()) {
        const std::string url = "https://" + page.decoySite + "/";
        first = "<div class=\"result-op c-container xpath-log\" id=\"1\" tpl=\"right_links\" "
                "srcid=\"10\" mu=\"" +
                escape(url) +
                "\">\n<h3 class=\"t\"><a href=\"http://www.baidu.com/link?url=" + token(url, 86) +
                "\" target=\"_blank\">" + escape(page.decoySite) + " 官方网站</a></h3>\n<p>" +
                escape(page.decoySite) + "</p>\n</div>\n";
    } else {
        first = "<div class=\"result-op c-container xpath-log\" id=\"1\" tpl=\"right_toplist1\" "
                "srcid=\"10\">\n<div class=\"c-font-medium\">百度热搜</div>\n"
                "<a href=\"/s?wd=%E7%83%AD%E6%90%9C&amp;rsv_dl=0_right_fyb\">今日热搜</a>\n"
                "</div>\n";
    }
    return "<div id=\"content_right\" class=\"cr-offset\">\n" + first +
           "<div class=\"result-op c-container xpath-log\" id=\"2\" "
           "tpl=\"right_recommends_merge\" srcid=\"20\" "
           "mu=\"https://top.baidu.com/board?platform=pc&amp;sa=pcindex_entry\">\n"
           "<div class=\"c-font-medium\">相关推荐</div>\n</div>\n"
           "<div class=\"result-op c-container xpath-log\" id=\"3\" tpl=\"right_links\" "
           "srcid=\"30\" mu=\"http://nourl.ubs.baidu.com/30\">\n<p>换一换</p>\n</div>\n</div>\n";
}

std::string baiduPager(const Page& page) {
    const std::string base = "/s?wd=" + percentEncode(page.keyword) + "&amp;pn=";
    const auto offset = [](int p) { return std::to_string((p - 1) * kBaiduPerPage); };
    std::string out = "<div id=\"page\">\n<div class=\"page-inner_2jZi2\">";
    if (page.page > 1)
        out += "<a class=\"n\" href=\"" + base + offset(page.page - 1) + "\">&lt; 上一页</a>";
    const int last = page.hasNext ? page.page + 4 : page.page;
    for (int p = std::max(1, page.page - 5); p <= last; ++p) {
        const std::string item =
            "<span class=\"page-item_M4MDr pc\">" + std::to_string(p) + "</span>";
        out += p == page.page ? "<strong>" + item + "</strong>"
                              : "<a href=\"" + base + offset(p) + "\">" + item + "</a>";
    }
    if (page.hasNext)
        out += "<a class=\"n\" href=\"" + base + offset(page.page + 1) + "\">下一页 &gt;</a>";
    return out + "</div>\n</div>\n";
}

constexpr std::string_view kBaiduStyle =
    "body{margin:0;font:13px arial}#content_left{width:640px;float:left;padding-left:150px}"
    "#content_right{float:right;width:368px}.c-container{margin-bottom:20px}"
    ".c-color-gray{color:#626675}em{color:#f73131;font-style:normal}";

std::string baiduFrame(const std::string& keyword, const std::string& container) {
    const std::string kw = escape(keyword);
    return head(kw + "_百度搜索", kBaiduStyle,
                "var bds={se:{},su:{urdata:[],urSendClick:function(){}},util:{},use:{},comm:{"
                "query:" +
                    jsonString(keyword) + ",qid:\"" + token(keyword, 16) +
                    "\",pageNum:1,ishome:0}};") +
           "<body link=\"#0000cc\">\n<div id=\"wrapper\" class=\"wrapper_new\">\n"
           "<div id=\"head\"><div class=\"head_wrapper\"><form id=\"form\" name=\"f\" "
           "action=\"/s\" class=\"fm\"><span class=\"bg s_ipt_wr\"><input id=\"kw\" "
           "name=\"wd\" class=\"s_ipt\" value=\"" +
           kw +
           "\" maxlength=\"255\" autocomplete=\"off\"></span><span class=\"bg s_btn_wr\">"
           "<input type=\"submit\" id=\"su\" value=\"百度一下\" class=\"bg s_btn\"></span>"
           "</form></div></div>\n<div id=\"s_tab\" class=\"s_tab\"><div "
           "class=\"s_tab_inner\"><b>网页</b> <a href=\"/s?tn=news&amp;word=" +
           percentEncode(keyword) +
           "\">资讯</a> <a href=\"/sf/vsearch?pd=video&amp;wd=" + percentEncode(keyword) +
           "\">视频</a></div></div>\n<div id=\"wrapper_wrapper\">\n<div id=\"container\" "
           "class=\"container_new sam_newgrid\">\n" +
           container +
           "</div>\n</div>\n<div id=\"foot\"><span>&copy;2026 Baidu</span> <a "
           "href=\"/duty/\">使用百度前必读</a></div>\n</div>\n<script>bds.comm.loaded=true;"
           "</script>\n</body></html>\n";
}

std::string baiduPage(const Page& page) {
    std::string list = "<div id=\"content_left\" tabindex=\"0\">\n"
                       "<style>.new-pmd .c-title{font-size:18px}</style>\n";
    Seen seen;
    int placed = 0;
    for (const Block& block : page.blocks) {
        const int id = (page.page - 1) * kBaiduPerPage + seen.results + 1;
        switch (block.kind) {
        case BlockKind::Web:
            list += baiduWeb(block, page.keyword, id, seen);
            ++seen.web;
            ++seen.results;
            break;
        case BlockKind::Ad:
            list += baiduAd(block, page.keyword, seen.ad);
            ++seen.ad;
            break;
        case BlockKind::CardNoUrl:
            list += baiduCardNoUrl(block, page.keyword, id, seen.noUrl);
            ++seen.noUrl;
            ++seen.results;
            break;
        case BlockKind::CardWithUrl:
            list += baiduCardWithUrl(block, page.keyword, id);
            ++seen.results;
            break;
        }
        // The page drops scripts between its blocks.
        if (++placed == 2)
            list += "<script>bds.comm.cur_disp_query=" + jsonString(page.keyword) + ";</script>\n";
    }
    list += "</div>\n";
    return baiduFrame(page.keyword, baiduRight(page) + list + baiduPager(page));
}

// ---- 搜狗 ----

std::string sogouLink(const std::string& seed) {
    return "/link?url=" + token(seed, 72);
}

// The data-url holder that carries a block's destination.
std::string sogouSech(const std::string& url, int n) {
    return "<div class=\"r-sech ext_query\" id=\"sogou_vr_30010469_" + std::to_string(n) +
           "\" data-url=\"" + escape(url) + "\" data-ext=\"{}\"></div>\n";
}

std::string sogouSnippet(const std::string& snippet, const std::string& keyword) {
    return marked(snippet, keyword, "<em><!--red_beg-->", "<!--red_end--></em>");
}

std::string sogouWeb(const Block& block, const std::string& keyword, int n, int number) {
    const std::string rank = std::to_string(n);
    const std::string link = sogouLink(block.url + "#" + rank);
    const std::string cite = escape(truncated(shown(block), 10));
    const bool withId = number % 2 == 0;
    return std::string("<!-- a -->") +
           (withId ? "<div class=\"vrwrap\" id=\"sogou_vr_30000000_wrap_" + rank + "\">\n"
                   : std::string("<div class=\"vrwrap\">\n")) +
           "<h3 class=\"vr-title\"><a" +
           (withId ? " id=\"sogou_vr_30000000_title_" + rank + "\"" : std::string()) +
           " target=\"_blank\" href=\"" + link + "\">" +
           marked(block.title, keyword, "<b>", "</b>") +
           "</a></h3>\n<div class=\"fz-mid space-txt\"><span class=\"cite-date\">" + date(n) +
           "&nbsp;-&nbsp;</span>" + sogouSnippet(block.snippet, keyword) +
           "</div>\n<div class=\"citeurl\">" +
           (withId ? "<a class=\"citeLinkClass\" target=\"_blank\" href=\"" + link + "\">" + cite +
                         "</a>"
                   : "<cite class=\"citeLinkClass\">" + cite + "</cite>") +
           "</div>\n" + sogouSech(block.url, n) + "</div>" +
           (withId ? "<!--VR TYPE:30000000,,RANK:" + rank + "-->" : std::string()) + "<!-- z -->\n";
}

std::string sogouAd(const Block& block, const std::string& keyword, int n, int number) {
    const std::string link = "/bill_cpc?v=1&amp;p=" + token(block.url + "#ad", 64);
    const std::string title = "<a target=\"_blank\" href=\"" + link + "\">" +
                              marked(block.title, keyword, "<b>", "</b>") + "</a>";
    const std::string rest =
        "<div class=\"fz-mid space-txt\">" + sogouSnippet(block.snippet, keyword) +
        "</div>\n<div class=\"citeurl\"><cite>" + escape(truncated(shown(block), 10)) +
        "</cite> <span class=\"biz_label\">广告</span></div>\n" + sogouSech(block.url, n);
    if (number % 2 == 0)
        return "<div class=\"vrwrap\">\n<div class=\"biz_rb\">\n<h3 class=\"vr-title\">" + title +
               "</h3>\n" + rest + "</div>\n</div>\n";
    return "<div class=\"vrwrap\">\n<h3 class=\"biz_title\">" + title + "</h3>\n" + rest +
           "</div>\n";
}

std::string sogouCardNoUrl(const Block& block, const std::string& keyword, int number) {
    if (number % 2 == 0)
        return "<!-- a --><div class=\"vrwrap middle-better-hintBox\">\n<div "
               "class=\"hint-mid\">大家还在搜</div>\n<div class=\"hintBox-list\"><a "
               "href=\"/web?query=" +
               percentEncode(block.title) + "&amp;ie=utf8\">" + escape(block.title) +
               "</a> <span>" + escape(block.snippet) + "</span></div>\n</div><!-- z -->\n";
    // Drawn by script, so without the comments around it.
    return "<div class=\"vrwrap reactResult\" data-react=\"ai-assistant\">\n<div "
           "class=\"ai-entry\"><div class=\"ai-title\">" +
           marked(block.title, keyword, "<b>", "</b>") + "</div><div class=\"ai-summary\">" +
           escape(block.snippet) +
           "</div><a class=\"ai-more\" href=\"/web?query=" + percentEncode(keyword) +
           "&amp;ie=utf8&amp;ai=1\">继续问AI</a></div>\n</div>\n";
}

std::string sogouCardWithUrl(const Block& block, const std::string& keyword, int n) {
    const std::string seed = block.url + "#" + std::to_string(n);
    std::string pages;
    for (const char* name : {"首页", "产品中心", "新闻动态", "联系我们"})
        pages += "<li><a target=\"_blank\" href=\"" + sogouLink(seed + name) + "\">" + name +
                 "</a></li>";
    return "<!-- a --><div class=\"vrwrap\">\n<div class=\"site-cluster\">\n"
           "<h3 class=\"vr-title\"><a target=\"_blank\" href=\"" +
           sogouLink(seed) + "\">" + marked(block.title, keyword, "<b>", "</b>") +
           "</a></h3>\n<div class=\"fz-mid space-txt\">" + sogouSnippet(block.snippet, keyword) +
           "</div>\n<ul class=\"cluster-list\">" + pages +
           "</ul>\n<div class=\"citeurl\"><cite class=\"citeLinkClass\">" +
           escape(truncated(shown(block), 10)) + "</cite></div>\n" + sogouSech(block.url, n) +
           "</div>\n</div><!-- z -->\n";
}

constexpr std::string_view kSogouStyle =
    "body{margin:0;font:14px arial}#main{width:560px;float:left;margin-left:142px}"
    "#right{float:left;width:320px;margin-left:40px}.vrwrap{margin-bottom:25px}"
    "em{color:#e02d2d;font-style:normal}.r-sech{display:none}";

std::string sogouFrame(const std::string& keyword, const std::string& main,
                       const std::string& right) {
    const std::string kw = escape(keyword);
    return head(kw + " - 搜狗搜索", kSogouStyle,
                "var uigs_para={query:" + jsonString(keyword) + ",uuid:\"" +
                    token(keyword + "uuid", 32) + "\"};") +
           "<body>\n<div id=\"wrap\" class=\"wrap\">\n<div class=\"header\"><form "
           "id=\"searchForm\" action=\"/web\"><input id=\"upquery\" name=\"query\" value=\"" +
           kw +
           "\"><input type=\"hidden\" name=\"ie\" value=\"utf8\"><input type=\"submit\" "
           "value=\"搜狗搜索\"></form></div>\n<div id=\"wrapper\" class=\"wrapper\">\n" +
           main + right +
           "</div>\n</div>\n<script>window.sogou_last_mon_time=" + std::to_string(keyword.size()) +
           ";</script>\n</body></html>\n";
}

std::string sogouPage(const Page& page) {
    std::string list;
    Seen seen;
    for (size_t i = 0; i < page.blocks.size(); ++i) {
        const Block& block = page.blocks[i];
        const int n = static_cast<int>(i);
        const bool ad = block.kind == BlockKind::Ad;
        if (ad && (i == 0 || page.blocks[i - 1].kind != BlockKind::Ad))
            list += "<!--Top ADV Start-->\n";
        switch (block.kind) {
        case BlockKind::Web:
            list += sogouWeb(block, page.keyword, n, seen.web++);
            break;
        case BlockKind::Ad:
            list += sogouAd(block, page.keyword, n, seen.ad++);
            break;
        case BlockKind::CardNoUrl:
            list += sogouCardNoUrl(block, page.keyword, seen.noUrl++);
            break;
        case BlockKind::CardWithUrl:
            list += sogouCardWithUrl(block, page.keyword, n);
            break;
        }
        if (ad && (i + 1 == page.blocks.size() || page.blocks[i + 1].kind != BlockKind::Ad))
            list += "<!--Top ADV End-->\n";
    }

    const std::string kw = escape(page.keyword);
    const std::string related =
        "<div class=\"hintBox\" id=\"hint_container\">\n<div class=\"hint-mid\">相关搜索</div>\n"
        "<table><tr><td><a href=\"/web?query=" +
        percentEncode(page.keyword + " 教程") + "&amp;ie=utf8\">" + kw +
        " 教程</a></td><td><a href=\"/web?query=" + percentEncode(page.keyword + " 官网") +
        "&amp;ie=utf8\">" + kw + " 官网</a></td></tr></table>\n</div>\n";
    const std::string next =
        page.hasNext
            ? "<div class=\"autopage-bar\" id=\"autopage_bar\"><span "
              "class=\"autopage-loading\">正在加载...</span><a id=\"sogou_next\" "
              "class=\"np\" href=\"/web?query=" +
                  percentEncode(page.keyword) +
                  "&amp;ie=utf8&amp;page=" + std::to_string(page.page + 1) + "\">下一页</a></div>\n"
            : std::string();

    std::string right = "<div id=\"right\" class=\"right\">\n";
    if (!page.decoySite.empty()) {
        const std::string url = "https://" + page.decoySite + "/";
        right += "<div class=\"vrwrap\">\n<h3 class=\"vr-title\"><a target=\"_blank\" href=\"" +
                 sogouLink(url) + "\">" + escape(page.decoySite) +
                 " 官方网站</a></h3>\n<p class=\"str_info\">" + escape(page.decoySite) + "</p>\n" +
                 sogouSech(url, 99) + "</div>\n";
    }
    right += "<div class=\"hot-list\"><h4>搜狗热搜</h4><a href=\"/web?query=%E7%83%AD%E6%90%9C"
             "&amp;ie=utf8\">今日热搜</a></div>\n</div>\n";

    return sogouFrame(page.keyword,
                      "<div id=\"main\" class=\"main\">\n<div class=\"results\">\n" + list +
                          "</div>\n" + related + next + "</div>\n",
                      right);
}

// ---- 好搜 ----

std::string haosouLink(const std::string& seed) {
    return "https://www.so.com/link?m=" + token(seed, 96);
}

// Written both ways the engine writes it: raw in single quotes, or entity-quoted.
std::string haosouRes(int pos, std::string_view algo, bool raw) {
    const std::string json =
        "{\"pos\":" + std::to_string(pos) + ",\"algo\":\"" + std::string(algo) + "\"}";
    return raw ? " data-res='" + json + "'" : " data-res=\"" + escape(json) + "\"";
}

std::string haosouH3(bool spaced) {
    return spaced ? "<h3   class=\"res-title\">" : "<h3 class=\"res-title \">";
}

std::string haosouWeb(const Block& block, const std::string& keyword, int pos, int number) {
    return "<li class=\"res-list\" data-lazyload=\"1\">\n" + haosouH3(number % 2 == 0) +
           "<a href=\"" + haosouLink(block.url + "#" + std::to_string(pos)) +
           "\" rel=\"noopener\" data-mdurl=\"" + escape(block.url) + "\"" +
           haosouRes(pos, "srcg_bert", number % 2 == 0) + " target=\"_blank\">" +
           marked(block.title, keyword, "<b>", "</b>") +
           "</a></h3>\n<div class=\"res-rich\"><p class=\"res-desc\">" +
           marked(block.snippet, keyword, "<em>", "</em>") +
           "</p></div>\n<p class=\"g-linkinfo res-linkinfo\"><cite>" + escape(shown(block)) +
           "</cite> <span class=\"gray\">" + date(pos) + "</span></p>\n</li>\n";
}

std::string haosouAd(const Block& block, const std::string& keyword, int number) {
    const std::string head =
        "<li class=\"res-list\" data-lazyload=\"1\">\n" + haosouH3(false) +
        "<a href=\"https://www.so.com/search/eclk?p=" + token(block.url + "#ad", 80) +
        "\" data-mdurl=\"" + escape(block.url) + "\" target=\"_blank\">" +
        marked(block.title, keyword, "<b>", "</b>") + "</a></h3>\n";
    const std::string desc =
        "<p class=\"res-desc\">" + marked(block.snippet, keyword, "<em>", "</em>") + "</p>\n";
    const std::string cite = "<cite>" + escape(shown(block)) + "</cite>";
    if (number % 2 == 0)
        return head + "<div class=\"res-mediav\">\n" + desc + "<p class=\"g-linkinfo\">" + cite +
               " <span class=\"mediav-label\">商业推广</span></p>\n</div>\n</li>\n";
    return head + desc + "<p class=\"g-linkinfo\">" + cite +
           " <span class=\"atom-adv\">商业推广</span></p>\n</li>\n";
}

std::string haosouCardNoUrl(const Block& block, const std::string& keyword, int pos, int number) {
    const std::string title = marked(block.title, keyword, "<b>", "</b>");
    const std::string snippet = marked(block.snippet, keyword, "<em>", "</em>");
    switch (number % 3) {
    case 0:
        return "<li class=\"res-list\">\n<div class=\"g-mohe\" id=\"mohe-fanyi\" "
               "data-mohe-type=\"fanyi\">\n<h3 class=\"g-title\"><a href=\"https://fanyi.so.com/"
               "?src=onebox#" +
               percentEncode(keyword) + "\" target=\"_blank\">" + title +
               "</a></h3>\n<div class=\"mh-content\"><p>" + snippet +
               "</p></div>\n<p class=\"g-linkinfo\"><cite>fanyi.so.com</cite></p>\n</div>\n"
               "</li>\n";
    case 1:
        return "<li class=\"res-list res-recommend-tag-cover\">\n<div "
               "class=\"res-recommend-tag\"><h4 class=\"res-recommend-tag-title\">其他人还搜了"
               "</h4><div class=\"res-recommend-tag-list\"><a href=\"/s?q=" +
               percentEncode(block.title) + "&amp;src=recommend_tag\">" + escape(block.title) +
               "</a> <span>" + escape(block.snippet) + "</span></div></div>\n</li>\n";
    default:
        return "<li class=\"res-list\" data-lazyload=\"1\">\n" + haosouH3(true) +
               "<a href=\"https://ai.so.com/?q=" + percentEncode(keyword) +
               "&amp;src=so_result\" rel=\"noopener\"" + haosouRes(pos, "ai_answer", true) +
               " target=\"_blank\">" + title + "</a></h3>\n<p class=\"res-desc\">" + snippet +
               "</p>\n<p class=\"g-linkinfo\"><cite>ai.so.com</cite></p>\n</li>\n";
    }
}

std::string haosouCardWithUrl(const Block& block, const std::string& keyword, int pos) {
    const std::string seed = block.url + "#" + std::to_string(pos);
    return "<li class=\"res-list\" data-lazyload=\"1\">\n" + haosouH3(false) + "<a href=\"" +
           haosouLink(seed) + "\" rel=\"noopener\" data-mdurl=\"" + escape(block.url) + "\"" +
           haosouRes(pos, "baike", false) + " target=\"_blank\">" +
           marked(block.title, keyword, "<b>", "</b>") +
           "</a></h3>\n<div class=\"res-rich res-baike clearfix\"><img class=\"res-comm-img\" "
           "src=\"" +
           std::string(kPixel) + "\" alt=\"\"><div class=\"res-comm-con\"><p class=\"res-desc\">" +
           marked(block.snippet, keyword, "<em>", "</em>") +
           "</p><p class=\"res-rich-sublink\"><a href=\"" + haosouLink(seed + "intro") +
           "\">简介</a> <a href=\"" + haosouLink(seed + "history") +
           "\">历史</a></p></div></div>\n<p class=\"g-linkinfo\"><cite>" + escape(shown(block)) +
           "</cite></p>\n</li>\n";
}

std::string haosouPager(const Page& page) {
    const std::string base = "/s?q=" + percentEncode(page.keyword) + "&amp;pn=";
    std::string out = "<div id=\"page\">";
    if (page.page > 1)
        out += "<a href=\"" + base + std::to_string(page.page - 1) + "\">&lt;上一页</a>";
    const int last = page.hasNext ? page.page + 4 : page.page;
    for (int p = std::max(1, page.page - 5); p <= last; ++p) {
        const std::string n = std::to_string(p);
        out += p == page.page ? "<strong>" + n + "</strong>"
                              : "<a href=\"" + base + n + "\">" + n + "</a>";
    }
    if (page.hasNext)
        out +=
            "<a id=\"snext\" href=\"" + base + std::to_string(page.page + 1) + "\">下一页&gt;</a>";
    return out + "</div>\n";
}

constexpr std::string_view kHaosouStyle =
    "body{margin:0;font:13px arial}#main{width:560px;float:left;margin-left:120px}"
    "#side{float:left;width:330px;margin-left:40px}.res-list{list-style:none;margin-bottom:20px}"
    "em{color:#c00;font-style:normal}";

std::string haosouFrame(const std::string& keyword, const std::string& main) {
    const std::string kw = escape(keyword);
    return head(kw + " - 360搜索", kHaosouStyle,
                "var So={comm:{q:" + jsonString(keyword) + ",pid:\"" + token(keyword, 16) +
                    "\",src:\"srp\"}};") +
           "<body>\n<div id=\"warper\">\n<div id=\"header\"><form id=\"bd_search\" "
           "action=\"/s\"><input id=\"keyword\" name=\"q\" value=\"" +
           kw +
           "\" autocomplete=\"off\"><input type=\"submit\" id=\"su\" value=\"搜索\"></form>"
           "</div>\n<div id=\"container\">\n" +
           main +
           "<div id=\"side\"><div id=\"right_show\" class=\"spread\"></div><div "
           "class=\"rs-hot\"><h4>360热榜</h4></div></div>\n</div>\n</div>\n<script>So.comm."
           "ready=true;</script>\n</body></html>\n";
}

std::string haosouPage(const Page& page) {
    std::string list = "<ul class=\"result\">\n";
    Seen seen;
    for (const Block& block : page.blocks) {
        const int pos = seen.results + 1;
        switch (block.kind) {
        case BlockKind::Web:
            list += haosouWeb(block, page.keyword, pos, seen.web++);
            ++seen.results;
            break;
        case BlockKind::Ad:
            list += haosouAd(block, page.keyword, seen.ad++);
            break;
        case BlockKind::CardNoUrl:
            list += haosouCardNoUrl(block, page.keyword, pos, seen.noUrl++);
            ++seen.results;
            break;
        case BlockKind::CardWithUrl:
            list += haosouCardWithUrl(block, page.keyword, pos);
            ++seen.results;
            break;
        }
    }
    list += "</ul>\n";

    std::string spread;
    if (!page.decoySite.empty()) {
        const std::string url = "https://" + page.decoySite + "/";
        spread = "<div id=\"e_idea_pp\" class=\"spread\">\n<ul>\n<li class=\"res-list\">\n" +
                 haosouH3(false) + "<a href=\"https://www.so.com/search/eclk?p=" + token(url, 80) +
                 "\" data-mdurl=\"" + escape(url) + "\" target=\"_blank\">" +
                 escape(page.decoySite) + " 官方网站</a></h3>\n<p class=\"res-desc\">" +
                 escape(page.decoySite) + "</p>\n<p class=\"g-linkinfo\"><cite>" +
                 escape(page.decoySite) +
                 "</cite> <span class=\"atom-adv\">商业推广</span></p>\n</li>\n</ul>\n</div>\n";
    }
    return haosouFrame(page.keyword,
                       "<div id=\"main\">\n" + spread + list + haosouPager(page) + "</div>\n");
}

} // namespace

std::string resultPage(const Page& page) {
    switch (page.engine) {
    case 0:
        return baiduPage(page);
    case 1:
        return sogouPage(page);
    default:
        return haosouPage(page);
    }
}

std::string verificationPage(int engine) {
    switch (engine) {
    case 0:
        return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
               "<title>百度安全验证</title><meta name=\"viewport\" content=\"width=device-width, "
               "user-scalable=no, initial-scale=1.0, minimum-scale=1.0, maximum-scale=1.0\">"
               "<meta name=\"format-detection\" content=\"telephone=no, email=no\">"
               "<meta name=\"apple-mobile-web-app-capable\" content=\"yes\">"
               "<style>body{margin:0;background:#f5f5f5}.passMod_dialog-wrapper{position:"
               "fixed;top:0;left:0;right:0;bottom:0}.passMod_dialog-body{width:290px;margin:"
               "120px auto;background:#fff;border-radius:8px;padding:20px}#seccodeImage{"
               "width:152px;height:152px;border-radius:50%}</style></head>\n<body>\n"
               "<div class=\"timeout hide-callback\"><div "
               "class=\"timeout-title\">网络不给力，请稍后重试"
               "</div><button type=\"button\" class=\"timeout-button\">返回首页</button></div>\n"
               "<div class=\"passMod_dialog-wrapper\"><div class=\"passMod_dialog-body\">"
               "<p class=\"passMod_title\">百度安全验证</p><p class=\"passMod_tip\">"
               "请完成下方验证后继续操作</p><div class=\"passMod_spin-wrap\"><img "
               "id=\"seccodeImage\" class=\"passMod_spin-background\" alt=\"\" src=\"" +
               std::string(kPixel) +
               "\"></div><p class=\"passMod_slide-tip\">拖动左侧滑块使图片为正</p>"
               "<div class=\"passMod_slide-btn\"></div><a class=\"passMod_feedback\" "
               "href=\"javascript:;\">问题反馈</a></div></div>\n<script>var "
               "captchaConf={type:\"spin\",ak:\"" +
               token("baidu-captcha", 32) + "\",backurl:\"\"};</script>\n</body></html>\n";
    case 1:
        return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>搜狗搜索</title>"
               "<style>body{margin:0;font:14px arial}.content-box{width:600px;margin:60px "
               "auto}</style></head>\n<body>\n<div class=\"header\"><a href=\"/\" "
               "class=\"logo\">搜狗</a></div>\n<div class=\"content-box\">\n<p "
               "class=\"ip-time-p\">IP:127.0.0.1<br>访问时间：2026.10.08 10:00:00</p>\n"
               "<p class=\"p2\">用户您好，我们的系统检测到您网络中存在异常访问请求。<br>"
               "此验证码用于确认这些请求是您的正常行为而不是自动程序发出的，需要您协助验证。"
               "</p>\n<form name=\"authform\" method=\"POST\" id=\"seccodeForm\" "
               "action=\"/antispider/thank.php\"><input type=\"hidden\" name=\"r\" "
               "id=\"from\" value=\"/web\"><p><img id=\"seccodeImage\" alt=\"验证码\" src=\"" +
               std::string(kPixel) +
               "\" width=\"100\" height=\"40\"> <input type=\"text\" name=\"c\" "
               "id=\"seccodeInput\" maxlength=\"6\"> <a href=\"javascript:void(0);\" "
               "id=\"change-img\">换一张</a></p><p><input type=\"submit\" value=\"提交\" "
               "id=\"submit\"></p></form>\n<p class=\"p4\">如果您的网络环境中有多人使用搜狗"
               "搜索，请联系网络管理员。</p>\n</div>\n<script>var suv=\"\";</script>\n"
               "</body></html>\n";
    default:
        return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>360搜索</title>"
               "<style>body{margin:0;font:14px arial}.mod-verify{width:560px;margin:80px "
               "auto}</style></head>\n<body>\n<div class=\"mod-verify\">\n<h2>"
               "请输入验证码以便正常访问：</h2>\n<form id=\"verify-form\" method=\"POST\" "
               "action=\"/index.php?m=Verify\"><img id=\"verify-img\" alt=\"验证码\" src=\"" +
               std::string(kPixel) +
               "\" width=\"120\" height=\"40\"> <input type=\"text\" name=\"value\" "
               "id=\"verify-input\"> <button type=\"submit\">提交</button></form>\n<p "
               "class=\"tips\">如果经常出现此页面，请把您的IP和反馈意见提交给我们</p>\n<div "
               "class=\"faq\"><h3>为什么会出现验证码？</h3><p>您的网络中可能有程序在频繁访问"
               "360搜索，为了保护搜索服务，需要确认这些访问来自真人。</p></div>\n</div>\n"
               "<script>var verifyReady=true;</script>\n</body></html>\n";
    }
}

std::string noResultsPage(int engine, const std::string& keyword) {
    const std::string kw = escape(keyword);
    switch (engine) {
    case 0:
        return baiduFrame(keyword,
                          "<div id=\"content_left\" tabindex=\"0\">\n<div "
                          "class=\"content_none\"><div class=\"nors\"><p>很抱歉，没有找到与“" +
                              kw +
                              "”相关的网页。</p><div class=\"tip_head\">温馨提示：</div><ul>"
                              "<li>请检查您的输入是否正确</li><li>如网页未收录或者新站未收录，请"
                              "<a href=\"/search/url_submit.html\">提交网址</a>给我们</li>"
                              "</ul></div></div>\n</div>\n");
    case 1:
        return sogouFrame(
            keyword,
            "<div id=\"main\" class=\"main\">\n<div class=\"results\">\n<div "
            "class=\"no-result\" id=\"noresult_part1_container\"><p>抱歉，没有找到与“" +
                kw +
                "”相关的网页。</p><p>建议您：检查输入是否有误，或换用其他关键词。</p></div>\n"
                "</div>\n</div>\n",
            "<div id=\"right\" class=\"right\"></div>\n");
    default:
        return haosouFrame(keyword,
                           "<div id=\"main\">\n<div id=\"no-result\"><p class=\"title\">"
                           "抱歉，未找到和“" +
                               kw +
                               "”相关的网页。</p><p>建议您检查输入的文字是否有误，或尝试其他"
                               "关键词。</p></div>\n</div>\n");
    }
}

} // namespace TodayPages
