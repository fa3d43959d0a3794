#pragma once

#include "rank/pageloader.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

class QWebEnginePage;
class QWebEngineProfile;

// The result-page browser: a Chromium page with a profile kept in the program folder, so
// cookies survive as in the user's own browser. It lives on the UI thread and never waits on
// it: loads and scripts answer through callbacks.
class BrowserPage : public PageLoader {
public:
    // storageDir: where the profile keeps cookies and cache.
    explicit BrowserPage(const QString& storageDir, QObject* parent = nullptr);
    ~BrowserPage() override;

    void loadPage(const Text& address, std::chrono::milliseconds limit,
                  std::function<void(const LoadedPage&)> done) override;
    void GetBrowserHtml(const Text& address, std::function<void(const Text&)> done) override;
    void runScript(const QString& script, std::function<void(const QString&)> done) override;
    void waitForNavigation(std::function<void(const LoadedPage&)> done) override;
    void cancel() override;

    // How long GetBrowserHtml waits for a load and a script may take.
    QWebEnginePage* page() const { return m_page.get(); }

private:
    void navigate(const Text& address);
    LoadedPage outcome(bool timedOut, std::chrono::milliseconds limit) const;
    // f, to run later, only while no newer call and no cancel() came in between.
    template <typename F> auto whileCurrent(F f) const {
        return [f = std::move(f), generation = std::weak_ptr<int>(m_generation),
                asked = *m_generation](auto&&... args) mutable {
            if (const auto g = generation.lock(); g && *g == asked)
                f(std::forward<decltype(args)>(args)...);
        };
    }

    std::unique_ptr<QWebEngineProfile> m_profile;
    // Declared after the profile: a page must go before its profile.
    std::unique_ptr<QWebEnginePage> m_page;
    QTimer m_limit;
    bool m_loading = false;
    bool m_hasDocument = false;
    // How the load under way ends, as the browser reports it.
    bool m_loadOk = true;
    QString m_loadError;
    int m_httpStatus = 0;
    std::function<void(bool timedOut)> m_onLoad;
    // Every call's answer carries the generation it was asked in; cancel() moves on.
    std::shared_ptr<int> m_generation = std::make_shared<int>(0);
    std::chrono::milliseconds m_loadTimeout{60000};
};
