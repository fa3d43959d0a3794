#include "rank/engines.h"

#include "text/apperror.h"
#include "text/codepage.h"
#include "text/inifile.h"
#include "text/strsearch.h"

#include <QStringList>
#include <QUrl>
#include <algorithm>

namespace {

constexpr const char* kSection = "Engines";
// More engines than this in "Added" are ignored: numbers must stay small for the batch list.
constexpr int kMaxEngines = 100;
// An engine's name is shown in combo boxes, grid cells, reports and on terminals.
constexpr qsizetype kMaxNameChars = 40;

bool inRange(int engine, const EngineProfiles& profiles) {
    return engine >= 0 && engine < static_cast<int>(profiles.size());
}

EngineProfile baidu() {
    EngineProfile p;
    p.key = "baidu";
    p.name = QStringLiteral("百度");
    p.address = "https://www.baidu.com";
    p.pagePath = "/s?wd={keyword}&pn={offset}";
    p.pageSizeParam = "&rn={size}";
    p.maxPageSize = 50;
    p.delimiter = "\xB0\xD9\xB6\xC8\xBF\xEC\xD5\xD5</a>"; // 百度快照</a>
    ResultRecipe& r = p.recipe;
    // The right column comes first in the source and reuses the ids 1, 2, 3: only the list's
    // own children are results.
    r.blocks = QStringLiteral("#content_left > div.c-container");
    r.skip =
        QStringLiteral("[data-tuiguang], .ec-tuiguang, .ec_ad, .ec-fc-ad-results, "
                       "a[class*=fengchaoContainer], div[data-key^=\"ad__\"], a[data-landurl]");
    r.urlAttribute = QStringLiteral("mu");
    r.title = QStringLiteral("h3");
    r.notDestination = QStringLiteral("^nourl\\.|\\.recommend_list\\.baidu\\.com$");
    r.pager = QStringLiteral("#page");
    r.next = QStringLiteral("#page a");
    r.nextText = QStringLiteral("下一页");
    r.blockedUrl = QStringLiteral("/static/captcha/|^https?://wappass\\.baidu\\.com/");
    r.blockedTitle = QStringLiteral("百度安全验证");
    r.blockedSelector = QStringLiteral("#seccodeImage, div.passMod_dialog-wrapper");
    r.noResults = QStringLiteral("很抱歉，没有找到与|未找到相关结果");
    return p;
}

EngineProfile sogou() {
    EngineProfile p;
    p.key = "sogou";
    p.name = QStringLiteral("搜狗");
    p.address = "https://www.sogou.com";
    p.pagePath = "/web?query={keyword}&ie=utf8&page={page}";
    p.delimiter = "<!-- z -->  <!-- a -->";
    // The browser writes every attribute value in double quotes, whatever the server sent.
    p.listStart = "<div class=\"results\">";
    ResultRecipe& r = p.recipe;
    r.blocks = QStringLiteral("div.results > div.vrwrap");
    r.skip = QStringLiteral(".middle-better-hintBox, .top-hintBox, .hintBox, .reactResult, "
                            ".biz_rb, h3.biz_title, .ad_result, .tgad-box, .js-ad-item, "
                            "div[id^=\"ad_result_page1_\"]");
    // The title goes through the engine's own /link address; the shown host is cut short.
    r.urlFrom = QStringLiteral("div.r-sech[data-url]");
    r.urlAttribute = QStringLiteral("data-url");
    r.title = QStringLiteral("h3");
    r.blockedUrl = QStringLiteral("/antispider/");
    r.blockedSelector = QStringLiteral("form[action*=\"/antispider/\"], #seccodeImage");
    r.noResults = QStringLiteral("没有找到与|未找到相关");
    return p;
}

EngineProfile haosou() {
    EngineProfile p;
    p.key = "haosou";
    p.name = QStringLiteral("好搜");
    p.address = "https://www.so.com";
    p.pagePath = "/s?q={keyword}&pn={page}";
    p.delimiter = "<h3 class=\"res-title\">";
    p.listStart = "<div id=\"main\">";
    p.delimiterOpens = true;
    ResultRecipe& r = p.recipe;
    r.blocks = QStringLiteral("#main ul.result > li.res-list");
    r.skip = QStringLiteral(".g-mohe, .res-recommend-tag-cover, .res-mediav, .atom-adv, "
                            "#e_idea_pp, #e_idea_left, #m-spread-left, #so_kw-ad, #so_bd-ad");
    // A link to the engine's own AI page has no data-mdurl, and so no destination.
    r.urlFrom = QStringLiteral("h3.res-title a[data-mdurl]");
    r.urlAttribute = QStringLiteral("data-mdurl");
    r.title = QStringLiteral("h3.res-title");
    r.pager = QStringLiteral("#page");
    r.next = QStringLiteral("#snext");
    r.blockedText =
        QStringLiteral("如果经常出现此页面，请把您的IP和反馈意见提交给我们|为什么会出现验证码");
    r.noResults = QStringLiteral("没有找到与|未找到和");
    return p;
}

// "baidu" -> "Baidu": the keys of an engine in the settings file start with this.
std::string keyPrefix(const Text& key) {
    std::string prefix = key;
    if (!prefix.empty() && prefix[0] >= 'a' && prefix[0] <= 'z')
        prefix[0] = static_cast<char>(prefix[0] - 'a' + 'A');
    return prefix;
}

class EngineReader {
public:
    EngineReader(const IniFile& settings, const Text& key)
        : m_settings(settings), m_prefix(keyPrefix(key)) {}

    // The key of a field as the settings file names it: "BaiduAddress".
    QString key(const char* field) const { return QString::fromStdString(m_prefix + field); }

    void text(const char* field, Text& value) const {
        value = m_settings.readText(kSection, m_prefix + field, value);
    }
    // An emptied value would leave the engine without it: the one before stays.
    void required(const char* field, Text& value) const {
        if (Text read = m_settings.readText(kSection, m_prefix + field, value); !read.empty())
            value = std::move(read);
    }
    void string(const char* field, QString& value) const {
        value = gbkToQString(m_settings.readText(kSection, m_prefix + field, qStringToGbk(value)));
    }
    void marker(const char* field, Text& value) const {
        // Pages are lower-cased before they are searched, so markers are too.
        value = lowerText(m_settings.readText(kSection, m_prefix + field, value));
    }
    void integer(const char* field, int& value) const {
        value = m_settings.readInteger(kSection, m_prefix + field, value);
    }
    void boolean(const char* field, bool& value) const {
        value = m_settings.readBool(kSection, m_prefix + field, value);
    }
    void mode(ScanMode& value) const {
        const QString read =
            gbkToQString(m_settings.readText(kSection, m_prefix + "Mode", {})).toLower();
        if (read == QLatin1String("markers") || read == QLatin1String("legacy"))
            value = ScanMode::Markers;
        else if (read == QLatin1String("recipe"))
            value = ScanMode::Recipe;
    }

private:
    const IniFile& m_settings;
    const std::string m_prefix;
};

// The browser loads whatever address it is given (a local file, a data: page, a script): a
// result page must be a web page, and its address must carry the keyword.
void checkAddress(const QString& addressKey, const Text& address, const Text& page,
                  const QString& pageKey) {
    const QUrl url(gbkToQString(address).trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        throw AppError(QStringLiteral("[Engines] %1=%2 in Setting.ini is no web address: an "
                                      "engine's address starts with http:// or https:// and "
                                      "names a host")
                           .arg(addressKey, gbkToQString(address)));
    if (page.find("{keyword}") == Text::npos)
        throw AppError(QStringLiteral("[Engines] %1=%2 in Setting.ini has no {keyword}: a result "
                                      "page's address must carry the keyword")
                           .arg(pageKey, gbkToQString(page)));
}

// A name fit to show: no control characters (a terminal would obey an escape sequence), and
// no longer than a name needs to be.
QString shownName(const QString& name) {
    // By characters, so that an emoji is never cut in half.
    QList<uint> shown;
    for (const uint c : name.toUcs4())
        if (QChar::category(c) != QChar::Other_Control && shown.size() < kMaxNameChars)
            shown << c;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(shown.constData()), shown.size());
}

void readEngine(const IniFile& settings, EngineProfile& p) {
    const EngineReader read(settings, p.key);
    Text name = qStringToGbk(p.name);
    read.required("Name", name);
    p.name = shownName(gbkToQString(name));
    read.required("Address", p.address);
    read.required("Page", p.pagePath);
    checkAddress(read.key("Address"), p.address, p.pagePath, read.key("Page"));
    read.text("PageSizeParam", p.pageSizeParam);
    read.integer("MaxPageSize", p.maxPageSize);
    p.maxPageSize = std::clamp(p.maxPageSize, 1, 100);
    read.mode(p.mode);
    read.marker("Delimiter", p.delimiter);
    read.marker("ListStart", p.listStart);
    read.marker("ListEnd", p.listEnd);
    read.boolean("DelimiterOpens", p.delimiterOpens);
    ResultRecipe& r = p.recipe;
    read.string("Blocks", r.blocks);
    read.string("Skip", r.skip);
    read.string("UrlFrom", r.urlFrom);
    read.string("UrlAttribute", r.urlAttribute);
    read.string("Title", r.title);
    read.string("NotDestination", r.notDestination);
    read.string("Pager", r.pager);
    read.string("Next", r.next);
    read.string("NextText", r.nextText);
    read.string("BlockedUrl", r.blockedUrl);
    read.string("BlockedTitle", r.blockedTitle);
    read.string("BlockedSelector", r.blockedSelector);
    read.string("BlockedText", r.blockedText);
    read.string("NoResults", r.noResults);
}

// A letter, then letters and digits. (A regular expression here cost every start its
// compilation.)
bool validKey(const QString& key) {
    if (key.isEmpty() || key[0] < u'a' || key[0] > u'z')
        return false;
    return std::all_of(key.begin(), key.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
    });
}

EngineProfiles& current() {
    static EngineProfiles profiles = defaultEngineProfiles();
    return profiles;
}

} // namespace

const EngineProfiles& defaultEngineProfiles() {
    static const EngineProfiles profiles = {baidu(), sogou(), haosou()};
    return profiles;
}

EngineProfiles loadEngineProfiles(const IniFile& file) {
    // Read once: a table of many engines has many keys.
    const IniFile settings = file.frozen();
    EngineProfiles profiles = defaultEngineProfiles();
    // More engines: "Added=bing,yandex", each with its own keys (BingName, BingAddress, ...).
    const QStringList added =
        gbkToQString(settings.readText(kSection, "Added", {})).split(QLatin1Char(','));
    for (const QString& entry : added) {
        const QString key = entry.trimmed().toLower();
        if (!validKey(key) || static_cast<int>(profiles.size()) >= kMaxEngines ||
            findEngine(key, profiles) >= 0)
            continue;
        EngineProfile p;
        p.key = key.toStdString();
        p.name = key;
        profiles.push_back(std::move(p));
    }
    for (EngineProfile& p : profiles)
        readEngine(settings, p);
    return profiles;
}

QStringList engineTableWarnings(const IniFile& file) {
    const IniFile settings = file.frozen();
    const EngineProfiles profiles = loadEngineProfiles(settings);
    const QStringList added =
        gbkToQString(settings.readText(kSection, "Added", {})).split(QLatin1Char(','));
    QStringList distinct;
    for (const QString& entry : added) {
        const QString key = entry.trimmed().toLower();
        if (validKey(key) && !distinct.contains(key) &&
            findEngine(key, defaultEngineProfiles()) < 0)
            distinct << key;
    }
    const qsizetype named = distinct.size();
    const auto kept = static_cast<qsizetype>(profiles.size() - defaultEngineProfiles().size());
    if (static_cast<int>(profiles.size()) < kMaxEngines || named <= kept)
        return {};
    return {QStringLiteral("Setting.ini [Engines] Added names %1 engines; the first %2 are used, "
                           "%3 engines in all")
                .arg(named)
                .arg(kept)
                .arg(kMaxEngines)};
}

const EngineProfiles& currentEngineProfiles() {
    return current();
}

void setCurrentEngineProfiles(EngineProfiles profiles) {
    current() = std::move(profiles);
}

int findEngine(const QString& name, const EngineProfiles& profiles) {
    const QString wanted = name.trimmed();
    bool isNumber = false;
    const int number = wanted.toInt(&isNumber);
    if (isNumber)
        return inRange(number, profiles) ? number : -1;
    for (size_t i = 0; i < profiles.size(); ++i)
        if (wanted.compare(QString::fromStdString(profiles[i].key), Qt::CaseInsensitive) == 0 ||
            wanted == profiles[i].name)
            return static_cast<int>(i);
    return -1;
}

int effectivePageSize(const EngineProfile& profile, int wished) {
    return std::clamp(wished, 1, std::max(1, profile.maxPageSize));
}

Text EncodeKeyword(std::string_view keyword) {
    const QString units = gbkToQString(keyword);
    Text out;
    for (qsizetype i = 0; i < units.size(); ++i) {
        const char16_t u = units[i].unicode();
        // & = + ? would end the keyword, start another parameter or turn into a space.
        const bool plain =
            u >= 0x21 && u <= 0x80 &&
            std::string_view("*#%<> []&=+?").find(static_cast<char>(u)) == std::string_view::npos;
        if (plain) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        // A surrogate pair is one character.
        const qsizetype length =
            (QChar::isHighSurrogate(u) && i + 1 < units.size() && units[i + 1].isLowSurrogate())
                ? 2
                : 1;
        for (const char byte : units.mid(i, length).toUtf8()) {
            out.push_back('%');
            out.push_back(kHexDigits[(static_cast<unsigned char>(byte) >> 4) & 0xF]);
            out.push_back(kHexDigits[static_cast<unsigned char>(byte) & 0xF]);
        }
        i += length - 1;
    }
    return out;
}

Text BuildResultPageUrl(std::string_view keyword, int engine, int page,
                        const EngineProfiles& profiles, int pageSize) {
    if (!inRange(engine, profiles))
        return {};
    const EngineProfile& p = profiles[static_cast<size_t>(engine)];
    const int size = effectivePageSize(p, pageSize);
    const int offset = size * (page - 1);
    Text rest = p.pagePath;
    if (size != 10)
        rest += p.pageSizeParam;
    // The keyword goes in last: its own text may look like a placeholder.
    rest = ReplaceText(rest, "{page}", std::to_string(page), true);
    rest = ReplaceText(rest, "{offset}", std::to_string(offset), true);
    rest = ReplaceText(rest, "{first}", std::to_string(offset + 1), true);
    rest = ReplaceText(rest, "{size}", std::to_string(size), true);
    rest = ReplaceText(rest, "{keyword}", EncodeKeyword(keyword), true);
    return p.address + rest;
}

QString SortQuerySearcherTypeGetText(int engine, const EngineProfiles& profiles) {
    return inRange(engine, profiles) ? profiles[static_cast<size_t>(engine)].name : QString();
}

QString BatchQuerySearcherTypeGetText(int code, const EngineProfiles& profiles) {
    return code == 0 ? QStringLiteral("全部") : SortQuerySearcherTypeGetText(code - 1, profiles);
}
