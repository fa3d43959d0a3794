#include "rank/resultrecipe.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

namespace {

// Runs in the loaded page: the blocks in page order, each with the destination and title the
// recipe points at. Only the page's own DOM is read, so entities and quoting are the
// browser's business.
constexpr char kScript[] = R"JS((function (r) {
  var out = {blocks: 0, results: [], pager: false, next: false, blocked: false, text: ''};
  try {
    var blocks = r.blocks ? document.querySelectorAll(r.blocks) : [];
    out.blocks = blocks.length;
    for (var i = 0; i < blocks.length; ++i) {
      var b = blocks[i];
      if (r.skip && (b.matches(r.skip) || b.querySelector(r.skip))) continue;
      var at = r.urlFrom ? b.querySelector(r.urlFrom) : b;
      var url = at && r.urlAttribute ? at.getAttribute(r.urlAttribute) : null;
      if (!url) continue;
      var t = r.title ? b.querySelector(r.title) : null;
      out.results.push({url: url.trim(),
                        title: t ? t.textContent.replace(/\s+/g, ' ').trim() : ''});
    }
    out.pager = !!(r.pager && document.querySelector(r.pager));
    var links = r.next ? document.querySelectorAll(r.next) : [];
    for (var j = 0; j < links.length && !out.next; ++j)
      out.next = !r.nextText || links[j].textContent.indexOf(r.nextText) >= 0;
    out.blocked = !!(r.blockedSelector && document.querySelector(r.blockedSelector));
    if (out.results.length === 0 && document.body)
      out.text = document.body.innerText.slice(0, 20000);
  } catch (e) {
    out.error = String(e && e.message ? e.message : e);
  }
  return JSON.stringify(out);
}))JS";

QString hostKey(const QString& host) {
    QString key = QString::fromLatin1(QUrl::toAce(host.toLower())).toLower();
    if (key.endsWith(QLatin1Char('.')))
        key.chop(1);
    if (key.startsWith(QLatin1String("www.")))
        key.remove(0, 4);
    return key;
}

} // namespace

QString resultScript(const ResultRecipe& recipe) {
    const QJsonObject r{
        {QStringLiteral("blocks"), recipe.blocks},
        {QStringLiteral("skip"), recipe.skip},
        {QStringLiteral("urlFrom"), recipe.urlFrom},
        {QStringLiteral("urlAttribute"), recipe.urlAttribute},
        {QStringLiteral("title"), recipe.title},
        {QStringLiteral("pager"), recipe.pager},
        {QStringLiteral("next"), recipe.next},
        {QStringLiteral("nextText"), recipe.nextText},
        {QStringLiteral("blockedSelector"), recipe.blockedSelector},
    };
    // The recipe goes in as a JSON literal, so no text of it can end the script early.
    return QString::fromLatin1(kScript) + QLatin1Char('(') +
           QString::fromUtf8(QJsonDocument(r).toJson(QJsonDocument::Compact)) +
           QStringLiteral(");");
}

PageReading readPageAnswer(const QString& json) {
    PageReading reading;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &parseError);
    if (!document.isObject()) {
        reading.error = json.isEmpty() ? QStringLiteral("the page gave no answer")
                                       : QStringLiteral("the page gave no readable answer");
        return reading;
    }
    const QJsonObject out = document.object();
    reading.error = out.value(QStringLiteral("error")).toString();
    reading.blocks = out.value(QStringLiteral("blocks")).toInt();
    const QJsonArray results = out.value(QStringLiteral("results")).toArray();
    for (const auto& value : results) {
        const QJsonObject result = value.toObject();
        reading.results.push_back({result.value(QStringLiteral("url")).toString(),
                                   result.value(QStringLiteral("title")).toString()});
    }
    reading.pagerShown = out.value(QStringLiteral("pager")).toBool();
    reading.nextShown = out.value(QStringLiteral("next")).toBool();
    reading.blockedSign = out.value(QStringLiteral("blocked")).toBool();
    reading.text = out.value(QStringLiteral("text")).toString();
    return reading;
}

bool patternMatches(const QString& pattern, const QString& text, bool ignoreCase) {
    if (pattern.isEmpty())
        return false;
    thread_local QHash<QString, QRegularExpression> compiled[2];
    QHash<QString, QRegularExpression>& cache = compiled[ignoreCase ? 1 : 0];
    auto it = cache.find(pattern);
    if (it == cache.end())
        it = cache.insert(
            pattern,
            QRegularExpression(pattern, ignoreCase ? QRegularExpression::CaseInsensitiveOption
                                                   : QRegularExpression::NoPatternOption));
    return it->isValid() && it->match(text).hasMatch();
}

bool showsBlock(const ResultRecipe& recipe, const LoadedPage& loaded) {
    return patternMatches(recipe.blockedUrl, loaded.url) ||
           patternMatches(recipe.blockedTitle, loaded.title);
}

bool showsBlock(const ResultRecipe& recipe, const PageReading& reading) {
    return reading.blockedSign || patternMatches(recipe.blockedText, reading.text);
}

bool isLastPage(const ResultRecipe& recipe, const PageReading& reading) {
    // Without a pager in the recipe, a missing next link alone tells; with one, a page too
    // short for a pager is no proof, and the next page (with no blocks) will tell.
    if (!recipe.pager.isEmpty())
        return reading.pagerShown && !reading.nextShown;
    return !recipe.next.isEmpty() && !reading.nextShown;
}

bool isDestination(const QString& url, const ResultRecipe& recipe) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty() ||
        (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https")))
        return false;
    return !patternMatches(recipe.notDestination, parsed.host(), true);
}

SiteMatcher::SiteMatcher(const QString& typed) {
    QString site = typed.trimmed();
    static const QRegularExpression scheme(QStringLiteral("^[a-zA-Z][a-zA-Z0-9+.-]*://"));
    site.remove(scheme);
    const qsizetype slash = site.indexOf(QLatin1Char('/'));
    QString host = slash < 0 ? site : site.left(slash);
    if (slash >= 0) {
        // Compared with the destination's decoded path.
        m_path = QUrl::fromPercentEncoding(site.mid(slash).toUtf8());
        if (m_path == QLatin1String("/"))
            m_path.clear();
    }
    // A port typed with the host says nothing about which pages are the site's.
    if (const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
        colon > 0 && !host.contains(QLatin1Char(']')))
        host.truncate(colon);
    m_host = hostKey(host);
}

bool SiteMatcher::matches(const QString& url) const {
    if (m_host.isEmpty())
        return false;
    const QUrl parsed(url);
    const QString host = hostKey(parsed.host());
    if (host.isEmpty() || (host != m_host && !host.endsWith(QLatin1Char('.') + m_host)))
        return false;
    return m_path.isEmpty() || parsed.path(QUrl::FullyDecoded).startsWith(m_path);
}
