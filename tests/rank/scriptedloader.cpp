#include "scriptedloader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

QString RecipeAnswer::json() const {
    QJsonArray list;
    for (const PageResult& r : results)
        list.append(
            QJsonObject{{QStringLiteral("url"), r.url}, {QStringLiteral("title"), r.title}});
    QJsonObject out{
        {QStringLiteral("blocks"), blocks < 0 ? static_cast<int>(results.size()) : blocks},
        {QStringLiteral("results"), list},
        {QStringLiteral("pager"), pager},
        {QStringLiteral("next"), next},
        {QStringLiteral("blocked"), blocked},
        {QStringLiteral("text"), text},
    };
    if (!error.isEmpty())
        out.insert(QStringLiteral("error"), error);
    return QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Compact));
}

ScriptedPage ScriptedPage::results(const RecipeAnswer& answer) {
    ScriptedPage page;
    page.html = "<html><body>results</body></html>";
    page.answer = answer.json();
    return page;
}

ScriptedPage ScriptedPage::markup(Text html) {
    ScriptedPage page;
    page.html = std::move(html);
    return page;
}

ScriptedPage ScriptedPage::failed(QString error, int httpStatus) {
    ScriptedPage page;
    page.loaded.status = LoadedPage::Status::Failed;
    page.loaded.error = std::move(error);
    page.loaded.httpStatus = httpStatus;
    return page;
}

ScriptedPage ScriptedPage::timedOut(QString error) {
    ScriptedPage page;
    page.loaded.status = LoadedPage::Status::TimedOut;
    page.loaded.error = std::move(error);
    return page;
}

ScriptedLoader::ScriptedLoader() = default;
ScriptedLoader::~ScriptedLoader() = default;

void ScriptedLoader::serve(const Text& address, std::vector<ScriptedPage> pages) {
    m_served[address] = std::deque<ScriptedPage>(pages.begin(), pages.end());
}

ScriptedPage ScriptedLoader::pageFor(const Text& address) {
    ScriptedPage page = ScriptedPage::failed(QStringLiteral("nothing scripted for ") +
                                             QString::fromStdString(address));
    if (auto it = m_served.find(address); it != m_served.end() && !it->second.empty()) {
        page = it->second.front();
        if (it->second.size() > 1)
            it->second.pop_front();
    }
    if (page.loaded.url.isEmpty())
        page.loaded.url = QString::fromStdString(address);
    return page;
}

void ScriptedLoader::later(std::function<void()> f) {
    ++m_pending;
    QTimer::singleShot(0, &m_context, [this, generation = m_generation, f = std::move(f)] {
        if (generation != m_generation)
            return;
        --m_pending;
        f();
    });
}

void ScriptedLoader::answerLoad(ScriptedPage page, std::function<void(const LoadedPage&)> done) {
    later([this, page = std::move(page), done = std::move(done)] {
        m_current = page;
        done(page.loaded);
    });
}

void ScriptedLoader::release() {
    if (!m_held)
        return;
    const std::unique_ptr<HeldLoad> held = std::move(m_held);
    answerLoad(std::move(held->page), std::move(held->done));
}

void ScriptedLoader::navigate(ScriptedPage page) {
    later([this, page = std::move(page)] {
        m_current = page;
        if (auto done = std::exchange(m_navigationWait, {}))
            done(page.loaded);
    });
}

void ScriptedLoader::loadPage(const Text& address, std::chrono::milliseconds limit,
                              std::function<void(const LoadedPage&)> done) {
    cancel();
    m_loads.push_back(address);
    m_limits.push_back(limit);
    ScriptedPage page = pageFor(address);
    if (m_hold)
        m_held = std::make_unique<HeldLoad>(HeldLoad{std::move(page), std::move(done)});
    else
        answerLoad(std::move(page), std::move(done));
}

void ScriptedLoader::GetBrowserHtml(const Text& address, std::function<void(const Text&)> done) {
    // The scan only reads the page loaded last; a navigation from here is not scripted.
    if (!address.empty()) {
        later([done = std::move(done)] { done({}); });
        return;
    }
    later([this, done = std::move(done)] { done(m_current.html); });
}

void ScriptedLoader::runScript(const QString&, std::function<void(const QString&)> done) {
    later([this, done = std::move(done)] {
        done(m_current.answer);
        ++m_scriptAnswers;
    });
}

void ScriptedLoader::waitForNavigation(std::function<void(const LoadedPage&)> done) {
    cancel();
    m_navigationWait = std::move(done);
}

void ScriptedLoader::cancel() {
    ++m_generation;
    m_pending = 0;
    m_held.reset();
    m_navigationWait = {};
}
