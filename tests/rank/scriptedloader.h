#pragma once

// A page loader that answers from a script instead of a browser, so the rank scan's state
// machine runs in-process and in milliseconds. It keeps the loader's contract: every call
// returns at once and answers later from the event loop; a load or a wait for navigation
// replaces whatever was under way; cancel() drops every answer still to come.
#include "rank/pageloader.h"
#include "rank/resultrecipe.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// What a recipe's script gives on a page (see resultScript), written as a test thinks of it.
struct RecipeAnswer {
    std::vector<PageResult> results{}; // blocks that name a destination, in page order
    bool pager = true;                 // the pager is shown
    bool next = true;                  // with a next link
    bool blocked = false;              // the recipe's verification element is on the page
    QString text{};                    // the page's text; the script gives it only without results
    QString error{};                   // the script could not run
    int blocks = -1;                   // blocks before any was skipped; -1: one per result

    QString json() const;
};

// A load that went well.
inline LoadedPage loadedPage() {
    LoadedPage loaded;
    loaded.status = LoadedPage::Status::Loaded;
    return loaded;
}

// A page as the loader serves it.
struct ScriptedPage {
    LoadedPage loaded = loadedPage(); // an empty url: the address asked
    Text html;                        // what GetBrowserHtml gives
    QString answer;                   // what runScript gives

    // A page read by a recipe, its markup beside the point.
    static ScriptedPage results(const RecipeAnswer& answer);
    // A page read by text markers.
    static ScriptedPage markup(Text html);
    static ScriptedPage failed(QString error, int httpStatus = 0);
    static ScriptedPage timedOut(QString error);
};

class ScriptedLoader : public PageLoader {
public:
    ScriptedLoader();
    ~ScriptedLoader() override;

    // The pages an address gets, one a load; the last one stays for every later load. An
    // address with no page fails to load, naming itself.
    void serve(const Text& address, std::vector<ScriptedPage> pages);

    // While held, loads are recorded but not answered until release().
    void holdLoads(bool hold) { m_hold = hold; }
    void release();
    bool loadHeld() const { return m_held != nullptr; }

    // A person's navigation in a view of the page: it answers a wait for navigation and becomes
    // the page loaded last. It is told later, like any answer.
    void navigate(ScriptedPage page);
    bool waitingForNavigation() const { return static_cast<bool>(m_navigationWait); }

    // Every address loaded, in order, with the time limit each load was given.
    const std::vector<Text>& loads() const { return m_loads; }
    const std::vector<std::chrono::milliseconds>& limits() const { return m_limits; }
    // Answers of runScript given so far (the reader has acted on each by then).
    int scriptAnswers() const { return m_scriptAnswers; }
    // Answers queued and not yet given or dropped.
    int pending() const { return m_pending; }

    void loadPage(const Text& address, std::chrono::milliseconds limit,
                  std::function<void(const LoadedPage&)> done) override;
    void GetBrowserHtml(const Text& address, std::function<void(const Text&)> done) override;
    void runScript(const QString& script, std::function<void(const QString&)> done) override;
    void waitForNavigation(std::function<void(const LoadedPage&)> done) override;
    void cancel() override;

private:
    struct HeldLoad {
        ScriptedPage page;
        std::function<void(const LoadedPage&)> done;
    };

    ScriptedPage pageFor(const Text& address);
    // Calls f from the event loop, unless cancel() comes first.
    void later(std::function<void()> f);
    // Answers a load: the page becomes the one loaded last.
    void answerLoad(ScriptedPage page, std::function<void(const LoadedPage&)> done);

    QObject m_context; // answers queued on it go with the loader
    quint64 m_generation = 0;
    int m_pending = 0;
    std::map<Text, std::deque<ScriptedPage>> m_served;
    ScriptedPage m_current; // the page loaded last
    bool m_hold = false;
    std::unique_ptr<HeldLoad> m_held;
    std::function<void(const LoadedPage&)> m_navigationWait;
    std::vector<Text> m_loads;
    std::vector<std::chrono::milliseconds> m_limits;
    int m_scriptAnswers = 0;
};
