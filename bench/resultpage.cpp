#include "resultpage.h"

#include <string>

namespace {

// GBK bytes of the Chinese words the page uses.
constexpr std::string_view kChinese = "\xD6\xD0\xCE\xC4";                  // 中文
constexpr std::string_view kKeyword = "\xB9\xD8\xBC\xFC\xB4\xCA";          // 关键词
constexpr std::string_view kWebsite = "\xCD\xF8\xD5\xBE";                  // 网站
constexpr std::string_view kSnapshot = "\xB0\xD9\xB6\xC8\xBF\xEC\xD5\xD5"; // 百度快照
constexpr std::string_view kMore = "\xB8\xFC\xB6\xE0";                     // 更多
constexpr std::string_view kOfficial = "\xB9\xD9\xB7\xBD\xCA\xD7\xD2\xB3"; // 官方首页
constexpr std::string_view kTutorial = "\xBD\xCC\xB3\xCC\xBD\xE9\xC9\xDC"; // 教程介绍
constexpr std::string_view kRanking = "\xD3\xC5\xBB\xAF\xC5\xC5\xC3\xFB";  // 优化排名
constexpr std::string_view kRelated = "\xCF\xE0\xB9\xD8\xCB\xD1\xCB\xF7";  // 相关搜索
constexpr std::string_view kNextPage = "\xCF\xC2\xD2\xBB\xD2\xB3";         // 下一页

// Result pages carry large inline scripts whose strings hold markup and comparisons, so the
// "<" and ">" in them must not be taken for tags.
constexpr std::string_view kHead = R"(<!doctype html>
<html><head><meta http-equiv="content-type" content="text/html;charset=gbk">
<meta http-equiv="x-ua-compatible" content="ie=edge,chrome=1">
<title>)";

constexpr std::string_view kScripts = R"(<script type="text/javascript">
var bds = {se: {}, su: {urdata: [], urspeed: 0}, util: {}, comm: {ishome: 0, sid: "1421_21093"}};
bds.util.escapehtml = function (s) {
    return String(s).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
};
bds.util.card = function (t, u) {
    var h = "<div class='c-card'><a href='" + u + "' target='_blank'>" + t + "</a></div>";
    if (t.length > 40 && u.length < 200) { h = "<span>" + h + "</span>"; }
    return h;
};
</script>
<script>
(function () {
    var n = 0, i, a = document.getelementsbytagname("a");
    for (i = 0; i < a.length; i++) { if (a[i].href.indexof("link?") > 0) { n++; } }
    window.__restime = n > 10 ? "<b>slow</b>" : "<i>fast</i>";
    document.write("<img src='//sp0.example.com/s.gif?n=" + n + "' width=1 height=1>");
})();
</script>
<style type="text/css">
body, td, .p1, .p2, .i { font-family: arial; }
#wrapper { position: relative; min-width: 1000px; }
.result h3 a { font-size: 18px; text-decoration: underline; }
.c-abstract em, .result em { color: #c00; font-style: normal; }
.c-showurl { color: #008000; }
</style>
<!--[if lte ie 8]><style>.s_ipt { padding: 6px 7px 4px; }</style><![endif]-->
<script type="text/javascript" src="//ss1.example.com/static/js/jquery-1.10.2.min.js"></script>
</head>
<body link="#0000cc">
<!-- header -->
<div id="wrapper"><div id="head"><div class="head_wrapper"><div class="s_form">
<form id="form" name="f" action="/s" class="fm"><input type="hidden" name="ie" value="gbk">
<span class="s_ipt_wr"><input id="kw" name="wd" class="s_ipt" value="" maxlength="255"></span>
<span class="s_btn_wr"><input type="submit" id="su" value="search" class="s_btn"></span>
</form></div></div></div>
<div id="content_left">
)";

constexpr std::string_view kTail = R"(</div>
<div id="rs"><div class="tt">)";

void appendResult(Text& page, int n) {
    const std::string id = std::to_string(n);
    page += "<!--s-data:{\"title\":\"result ";
    page += id;
    page += "\"}--><div class=\"result c-container\" id=\"";
    page += id;
    page += "\" srcid=\"1599\" tpl=\"se_com_default\" data-click=\"{'rsv_bdr':'0','p5':";
    page += id;
    page += "}\">\n<h3 class=\"t\"><a data-click=\"{'f':'1'}\" href=\"http://www.example.com/"
            "link?url=9kf1r2a";
    page += id;
    page += "q7x3wzt\" target=\"_blank\"><em>";
    page += kChinese;
    page += kKeyword;
    page += "</em>";
    page += n % 3 == 0 ? kOfficial : kTutorial;
    page += " - site";
    page += id;
    page += ".example.com</a></h3>\n<div class=\"c-abstract\"><span class=\"c-time\">"
            "2023-5-";
    page += std::to_string(1 + n % 28);
    page += "&nbsp;</span>";
    page += kWebsite;
    page += kRanking;
    page += " &amp; <em>";
    page += kKeyword;
    page += "</em>&#20013;";
    page += kChinese;
    page += "&nbsp;&nbsp;";
    page += kTutorial;
    // Snippets are mostly running text: several hundred bytes between the tags.
    for (int k = 0; k < 14; ++k) {
        page += kWebsite;
        page += kKeyword;
        page += n % 2 == 0 ? ", " : "; ";
        page += kRanking;
        page += kChinese;
        page += kTutorial;
        page += " seo ";
        page += kOfficial;
        page += k % 2 == 0 ? kChinese : kMore;
        page += " ";
    }
    page += "...<br>";
    page += kMore;
    page += " &lt;seo&gt; &quot;tips&quot;</div>\n<div class=\"f13\"><a target=\"_blank\" "
            "href=\"http://site";
    page += id;
    page += ".example.com/\" class=\"c-showurl\">site";
    page += id;
    page += ".example.com/&nbsp;</a><span class=\"c-tools\" id=\"tools_";
    page += id;
    page += "\"><a class=\"c-tip-icon\"><i class=\"c-icon\"></i></a></span> - <a "
            "href=\"http://cache.example.com/c?m=";
    page += id;
    page += "\" target=\"_blank\" class=\"m\">";
    page += kSnapshot;
    page += "</a></div>\n</div><!--s-frame-->\n";
    // Some results carry their own small script, as the rich snippets do.
    if (n % 5 == 4) {
        page += "<script>bds.su.urdata.push({id: ";
        page += id;
        page += ", t: \"<b>x</b>\", ok: ";
        page += id;
        page += " > 3 && ";
        page += id;
        page += " < 9999});</script>\n";
    }
}

} // namespace

Text makeResultPage(size_t size) {
    Text page;
    page.reserve(size + 4096);
    page += kHead;
    page += kKeyword;
    page += "_";
    page += kSnapshot;
    page += "</title>\n";
    page += kScripts;
    Text tail(kTail);
    tail += kRelated;
    tail += "</div><a href=\"/s?wd=x&amp;pn=10\">";
    tail += kNextPage;
    tail += "&gt;</a></div></div>\n</body></html>\n";

    Text block;
    for (int n = 1;; ++n) {
        block.clear();
        appendResult(block, n);
        if (page.size() + block.size() + tail.size() > size)
            break;
        page += block;
    }
    // Fill up to the exact size with plain GBK text before the closing markup.
    while (page.size() + tail.size() < size)
        page +=
            page.size() + tail.size() + 2 <= size ? kChinese.substr(0, 2) : std::string_view(" ");
    page += tail;
    page.resize(size);
    return lowerText(page);
}
