#include "fakeengine.h"

#include "todaypages.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <iconv.h>
#include <optional>
#include <stdexcept>

namespace {

constexpr int kResultsPerPage = 10;

// The address forms of the engines: the path, the keyword's parameter and the page's.
struct AddressForm {
    std::string_view path;
    std::string_view keyword;
    std::string_view page;
};
constexpr AddressForm kForms[] = {
    {"/s", "wd", "pn"},
    {"/web", "query", "page"},
    {"/s", "q", "pn"},
    {"/search", "q", "first"},
};

// plusIsSpace: as a server reads a query string, where "+" stands for a space.
std::string percentDecode(std::string_view text, bool plusIsSpace = false) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        int value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr ==
                text.data() + i + 3) {
            out.push_back(static_cast<char>(value));
            i += 2;
        } else {
            out.push_back(plusIsSpace && text[i] == '+' ? ' ' : text[i]);
        }
    }
    return out;
}

std::optional<int> wholeNumber(std::string_view text) {
    int value = 0;
    if (text.empty() || std::from_chars(text.data(), text.data() + text.size(), value).ptr !=
                            text.data() + text.size())
        return std::nullopt;
    return value;
}

// The engine, page and keyword of a result-page request; nothing for any other request. The
// query is split at every "&" and each part decoded after it, as the engines' servers do, so
// a keyword sent without its "&", "=" or "+" encoded arrives changed here too.
std::optional<FakeEngine::Request> parseRequest(const std::string& request) {
    const size_t start = request.find(' ');
    const size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    if (end == std::string::npos)
        return std::nullopt;
    const std::string sent = request.substr(start + 1, end - start - 1);
    const size_t question = sent.find('?');
    if (question == std::string::npos)
        return std::nullopt;
    const std::string_view path = std::string_view(sent).substr(0, question);
    // The first of a name counts.
    std::map<std::string, std::string> params;
    std::string_view query = std::string_view(sent).substr(question + 1);
    while (!query.empty()) {
        const std::string_view part = query.substr(0, query.find('&'));
        query.remove_prefix(std::min(query.size(), part.size() + 1));
        const size_t eq = part.find('=');
        params.emplace(percentDecode(part.substr(0, eq), true),
                       eq == std::string_view::npos ? std::string()
                                                    : percentDecode(part.substr(eq + 1), true));
    }
    // Baidu's page size.
    int size = kResultsPerPage;
    if (const auto rn = params.find("rn"); rn != params.end()) {
        const std::optional<int> asked = wholeNumber(rn->second);
        if (!asked || *asked < 1)
            return std::nullopt;
        size = *asked;
    }
    for (int engine = 0; engine < 4; ++engine) {
        const AddressForm& form = kForms[engine];
        const auto keyword = params.find(std::string(form.keyword));
        const auto number = params.find(std::string(form.page));
        if (path != form.path || keyword == params.end() || number == params.end())
            continue;
        const std::optional<int> value = wholeNumber(number->second);
        if (!value)
            return std::nullopt;
        // Baidu's parameter is the offset of the page's first result, the fourth engine's the
        // number of its first result.
        const int page = engine == 0   ? *value / size + 1
                         : engine == 3 ? (*value - 1) / kResultsPerPage + 1
                                       : *value;
        return FakeEngine::Request{engine, page, keyword->second, size, sent};
    }
    return std::nullopt;
}

// A page labelled "gbk" is read by browsers as GB18030, so characters GBK lacks (an emoji in
// the keyword) may stand in it as well.
std::string utf8ToGbkBytes(const std::string& utf8) {
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("fake engine: no GBK converter");
    std::string out(utf8.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        throw std::runtime_error("fake engine: page text has no GBK form");
    out.resize(out.size() - outLeft);
    return out;
}

// The site as an engine shows it: the part before the first dot in bold, as an engine marks
// the words of the query, so the text runs across tags.
std::string shownSite(const std::string& site) {
    const size_t dot = site.find('.');
    if (dot == std::string::npos || dot == 0)
        return site;
    return "<b>" + site.substr(0, dot) + "</b>" + site.substr(dot);
}

// The site where a browser keeps it out of the page's text.
std::string decoys(const std::string& site) {
    if (site.empty())
        return {};
    return "<script>var recent = \"" + site + "\";</script><style>.r{font-family:\"" + site +
           "\"}</style><!-- " + site + " --><a href=\"http://" + site + "/\" title=\"" + site +
           "\"></a>";
}

struct Result {
    int number;      // 1-500 over all pages
    std::string url; // as shown, markup allowed
    std::string extra;
};

std::string baiduResult(const Result& r, const std::string& keyword) {
    const std::string n = std::to_string(r.number);
    return "<div class=\"result c-container\" id=" + n + ">" + r.extra +
           "<h3 class=t><a href=\"http://www.r" + n + "-result.org/\" target=_blank>" + keyword +
           " 结果 " + n + " - SEO Title</a></h3><div class=c-abstract>摘要 " + n +
           ":&nbsp;优化 &amp; 排名 &lt;b&gt; &#20013;文</div><div class=f13><span "
           "class=c-showurl>" +
           r.url + "</span> <a href=\"http://cache.example/" + n +
           "\" class=m>百度快照</a></div></div>\n";
}

std::string sogouResult(const Result& r, const std::string& keyword) {
    const std::string n = std::to_string(r.number);
    return "<div class=vrwrap>" + r.extra + "<h3 class=vrTitle><a href=\"http://www.r" + n +
           "-result.org/\">" + keyword + " 搜狗结果 " + n +
           "</a></h3><p class=str_info>摘要&nbsp;&nbsp;" + n +
           " &quot;SEO&quot; &amp; 优化</p><cite>" + r.url + "</cite></div>";
}

std::string haosouResult(const Result& r, const std::string& keyword) {
    const std::string n = std::to_string(r.number);
    return "<li class=res-list>" + r.extra + "<h3 class=res-title><a href=\"http://www.r" + n +
           "-result.org/\">" + keyword + " 好搜结果 " + n + "</a></h3><p class=res-desc>" + n +
           " &ldquo;SEO&rdquo; &#x4e2d;文</p><cite>" + r.url + "</cite></li>\n";
}

TestResponse html(const std::string& body) {
    return TestResponse::raw("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                             "Cache-Control: no-store\r\nConnection: close\r\n"
                             "Content-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body);
}

// The engine a user adds by settings alone: a plain list whose title links lead straight to
// the destinations, ads marked by their class.
std::string fourthEnginePage(const TodayPages::Page& page) {
    std::string items;
    for (const TodayPages::Block& b : page.blocks) {
        const bool ad = b.kind == TodayPages::BlockKind::Ad;
        if (b.kind == TodayPages::BlockKind::CardNoUrl) {
            items += "<li class=\"b_ans\"><h2>" + TodayPages::escape(b.title) + "</h2></li>\n";
            continue;
        }
        items += std::string("<li class=\"") + (ad ? "b_ad" : "b_algo") + "\"><h2><a href=\"" +
                 TodayPages::escape(b.url) + "\">" + TodayPages::escape(b.title) + "</a></h2><p>" +
                 TodayPages::escape(b.snippet) + "</p></li>\n";
    }
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
           TodayPages::escape(page.keyword) +
           " - Find</title></head><body><ol id=\"b_results\">\n" + items + "</ol>" +
           (page.hasNext ? "<nav><a class=\"sb_pagN\" href=\"#\">下一页</a></nav>" : "") +
           "</body></html>\n";
}

} // namespace

std::string FakeEngine::todayPageHtml(const Request& request, const TodayPlan& plan) {
    using TodayPages::Block;
    using TodayPages::BlockKind;
    TodayPages::Page page;
    page.engine = request.engine;
    page.page = request.page;
    page.keyword = request.keyword;
    page.hasNext = request.page < plan.lastPage || plan.lastHasNext;
    page.decoySite = plan.decoySite;
    if (request.page <= plan.lastPage) {
        const int size = request.size;
        const std::string p = std::to_string(request.page);
        page.blocks.push_back({BlockKind::CardNoUrl, "", request.keyword + " AI 回答", "", ""});
        page.blocks.push_back({BlockKind::Ad,
                               plan.adUrl.empty()
                                   ? "https://ad.example.net/landing?page=" + p + "&src=bd"
                                   : plan.adUrl,
                               request.keyword + " 推广", "优惠 " + p, ""});
        for (int i = 0; i < size; ++i) {
            const int number = (request.page - 1) * size + i + 1;
            const std::string n = std::to_string(number);
            const auto placed = plan.placed.find({request.page, i});
            Block block;
            block.kind = i == 2 ? BlockKind::CardWithUrl : BlockKind::Web;
            block.url = placed != plan.placed.end()
                            ? placed->second
                            : "https://www.r" + n + "-result.org/article?id=" + n + "&from=seo";
            block.title = request.keyword + " 结果 " + n;
            block.snippet = i == 0 && !plan.snippetSite.empty()
                                ? "转载自 " + plan.snippetSite + " 的文章 " + n
                                : "摘要 " + n + " 优化 & 排名";
            // Many results show a source name instead of their host.
            block.shown = i % 3 == 1 ? "CSDN技术社区" : i % 3 == 2 ? "知乎" : "";
            page.blocks.push_back(std::move(block));
            if (i == 5)
                page.blocks.push_back({BlockKind::CardNoUrl, "", "相关搜索", "", ""});
        }
    }
    return request.engine == 3 ? fourthEnginePage(page) : TodayPages::resultPage(page);
}

FakeEngine::FakeEngine() {
    m_server.setHandler([this](const std::string& request) { return answer(request); });
}

std::string FakeEngine::address() const {
    return "http://127.0.0.1:" + std::to_string(m_server.port());
}

void FakeEngine::place(const std::string& keyword, Placement placement) {
    std::lock_guard lock(m_mutex);
    m_placements[keyword] = std::move(placement);
}

void FakeEngine::setCharset(Charset charset) {
    std::lock_guard lock(m_mutex);
    m_charset = charset;
}

void FakeEngine::setMarkup(Markup markup) {
    std::lock_guard lock(m_mutex);
    m_markup = markup;
}

void FakeEngine::plan(const std::string& keyword, TodayPlan plan) {
    std::lock_guard lock(m_mutex);
    m_plans[keyword] = std::move(plan);
}

void FakeEngine::setOnPage(std::function<void(const Request&)> onPage) {
    std::lock_guard lock(m_mutex);
    m_onPage = std::move(onPage);
}

int FakeEngine::pagesServed() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_served.size());
}

std::vector<FakeEngine::Request> FakeEngine::served() const {
    std::lock_guard lock(m_mutex);
    return m_served;
}

std::string FakeEngine::resultPageHtml(int engine, int page, const std::string& keyword,
                                       const Placement& placement, const char* charsetName) {
    const std::string p = std::to_string(page);
    const std::string hint =
        placement.inHeader ? "<div class=hint>您要找的是不是: " + placement.site + "</div>" : "";
    const std::string header = "<div id=header><form action=/s><input name=wd value=\"" + keyword +
                               "\"><input type=submit value=\"搜索\"></form>" + hint + "</div>\n";

    std::string results;
    for (int i = 0; i < kResultsPerPage; ++i) {
        Result r{kResultsPerPage * (page - 1) + i + 1, "", ""};
        r.url = page == placement.page && i == placement.index
                    ? shownSite(placement.site) + "/seo/index.html"
                    : "www.r" + std::to_string(r.number) + "-result.org/";
        if (i == 0)
            r.extra = decoys(placement.site);
        switch (engine) {
        case 0:
            results += baiduResult(r, keyword);
            break;
        case 1:
            // Two spaces between the comments, as the engine writes them.
            results += (i > 0 ? "<!-- z -->  <!-- a -->" : "") + sogouResult(r, keyword);
            break;
        default:
            results += haosouResult(r, keyword);
        }
    }

    std::string list;
    switch (engine) {
    case 0:
        list = "<div id=content_left>\n" + results + "</div>\n";
        break;
    case 1:
        list = "<div class=results>\n" + results + "\n</div>\n";
        break;
    default:
        list = "<div id=main><div class=tips>相关搜索: " + keyword +
               " 教程</div><ul class=result>\n" + results + "</ul></div>\n";
    }

    return std::string("<!DOCTYPE html>\n<HTML><HEAD><META http-equiv=Content-Type "
                       "content=\"text/html; charset=") +
           charsetName + "\">\n<TITLE>" + keyword + "_SEO Search Page " + p +
           "</TITLE>\n<STYLE>body{margin:0} .c-showurl{color:green}</STYLE>\n"
           "<SCRIPT>window.pageNo = " +
           p + ";</SCRIPT>\n</HEAD>\n<BODY>\n" + header + list + "<DIV id=page>第 " + p +
           " 页 Page-" + p + "-Of-50 &copy; 2024</DIV>\n</BODY></HTML>\n";
}

TestResponse FakeEngine::answer(const std::string& request) {
    // Passing the verification: a cookie, and back to the page asked for.
    if (request.starts_with("GET /verify?back=")) {
        const size_t start = std::string_view("GET /verify?back=").size();
        const std::string back =
            percentDecode(request.substr(start, request.find(' ', start) - start));
        return TestResponse::raw("HTTP/1.1 302 Found\r\nSet-Cookie: mt_passed=1; Path=/\r\n"
                                 "Location: " +
                                 back + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }
    // Where the verification redirects lead.
    if (request.starts_with("GET /static/captcha/"))
        return html(TodayPages::verificationPage(0));
    if (request.starts_with("GET /antispider/"))
        return html(TodayPages::verificationPage(1));
    const std::optional<Request> parsed = parseRequest(request);
    if (!parsed)
        return TestResponse::raw("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n"
                                 "Connection: close\r\n\r\n");
    Placement placement;
    TodayPlan plan;
    Markup markup = Markup::Older;
    bool gbk = true;
    std::function<void(const Request&)> onPage;
    {
        std::lock_guard lock(m_mutex);
        m_served.push_back(*parsed);
        if (const auto it = m_placements.find(parsed->keyword); it != m_placements.end())
            placement = it->second;
        if (const auto it = m_plans.find(parsed->keyword); it != m_plans.end())
            plan = it->second;
        markup = m_markup;
        gbk = m_charset == Charset::Gbk ||
              (m_charset == Charset::Alternating && parsed->page % 2 == 1);
        onPage = m_onPage;
    }
    if (onPage)
        onPage(*parsed);
    if (markup == Markup::Today || parsed->engine == 3)
        return answerToday(*parsed, plan, request.find("mt_passed=1") != std::string::npos);

    const std::string html = resultPageHtml(parsed->engine, parsed->page, parsed->keyword,
                                            placement, gbk ? "gbk" : "utf-8");
    const std::string body = gbk ? utf8ToGbkBytes(html) : html;
    return TestResponse::raw(std::string("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=") +
                             (gbk ? "gbk" : "utf-8") +
                             "\r\nCache-Control: no-store\r\nConnection: close\r\n"
                             "Content-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body);
}

TestResponse FakeEngine::answerToday(const Request& request, const TodayPlan& plan, bool passed) {
    auto trouble = plan.trouble.find(request.page);
    if (trouble != plan.trouble.end() && trouble->second == Trouble::CaptchaUntilPassed) {
        if (passed)
            trouble = plan.trouble.end();
        else
            return html("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>百度安全验证"
                        "</title></head><body style=\"font-family:sans-serif;text-align:center\">"
                        "<h3>百度安全验证</h3><p>网络不给力，请稍后重试</p><div "
                        "id=\"seccodeImage\"></div><form id=\"verify\" action=\"/verify\" "
                        "method=\"get\"><input type=\"hidden\" name=\"back\" value=\"" +
                        TodayPages::escape(request.target) +
                        "\"><button type=\"submit\">点击完成验证</button></form></body></html>");
    }
    if (trouble != plan.trouble.end()) {
        switch (trouble->second) {
        case Trouble::Captcha302:
            if (request.engine == 0 || request.engine == 1)
                return TestResponse::raw(
                    std::string("HTTP/1.1 302 Found\r\nLocation: ") +
                    (request.engine == 0 ? "/static/captcha/tuxing.html?ak=c27bbc89afca0463650ac9"
                                           "bde68ebe06&backurl=%2Fs%3Fwd%3Dseo"
                                         : "/antispider/?from=%2Fweb%3Fquery%3Dseo") +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return html(TodayPages::verificationPage(request.engine));
        case Trouble::Captcha200:
            return html(TodayPages::verificationPage(request.engine));
        case Trouble::ServerError:
            return TestResponse::raw("HTTP/1.1 500 Internal Server Error\r\nContent-Type: "
                                     "text/html\r\nContent-Length: 21\r\nConnection: "
                                     "close\r\n\r\n<h1>Server Error</h1>");
        case Trouble::Silent:
            return TestResponse::silent();
        case Trouble::NoResults:
            return html(TodayPages::noResultsPage(request.engine, request.keyword));
        case Trouble::CaptchaUntilPassed:
            break;
        }
    }
    return html(todayPageHtml(request, plan));
}

bool writeEngineSettings(const QString& programDir, const std::string& address, bool sortToDb,
                         bool markers, const std::string& extra) {
    std::string ini = "[SortQuery]\r\nQuerySleep=0\r\n";
    if (!sortToDb)
        ini += "SortToDB=0\r\n";
    ini += "[Engines]\r\n";
    for (const char* engine : {"Baidu", "Sogou", "Haosou"}) {
        ini += std::string(engine) + "Address=" + address + "\r\n";
        if (markers)
            ini += std::string(engine) + "Mode=markers\r\n";
    }
    ini += extra;
    QFile file(programDir + QStringLiteral("/Setting.ini"));
    return file.open(QIODevice::WriteOnly) &&
           file.write(ini.data(), static_cast<qint64>(ini.size())) ==
               static_cast<qint64>(ini.size());
}

QStringList storedRanks(const QString& dir) {
    const QString path = dir + QStringLiteral("/Sort.mdb");
    if (!QFile::exists(path))
        return {};
    const QString name = QStringLiteral("stored-ranks-check");
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral(
                "select Web, SearchKey, SearcherType, SortNum from QuerySort order by id"));
            while (query.next())
                rows << QStringList{query.value(0).toString(), query.value(1).toString(),
                                    query.value(2).toString(), query.value(3).toString()}
                            .join('|');
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

QString stored(const QString& site, const QString& keyword, int engine, int rank) {
    return QStringList{site, keyword, QString::number(engine), QString::number(rank)}.join('|');
}

QString served(const std::vector<FakeEngine::Request>& requests) {
    QStringList out;
    for (const FakeEngine::Request& r : requests)
        out << QStringLiteral("%1:%2:%3")
                   .arg(r.engine)
                   .arg(r.page)
                   .arg(QString::fromStdString(r.keyword));
    return out.join(' ');
}
