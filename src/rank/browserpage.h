#pragma once

#include "pageloader.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

class QWebEnginePage;
class QWebEngineProfile;

// The result-page browser: a Chromium page with a profile kept in the program folder, so
// cookies survive as in the user's own browser. It lives on the UI thread.
class BrowserPage : public PageLoader {
public:
    // storageDir: where the profile keeps cookies and cache.
    explicit BrowserPage(const QString& storageDir, QObject* parent = nullptr);
    ~BrowserPage() override;

    Text GetBrowserHtml(const Text& address) override;

    // A load that takes longer is stopped and whatever the page holds is used.
    void setLoadTimeout(std::chrono::milliseconds limit) { m_loadTimeout = limit; }
    QWebEnginePage* page() const { return m_page.get(); }

private:
    QString outerHtml();

    std::unique_ptr<QWebEngineProfile> m_profile;
    // Declared after the profile: a page must go before its profile.
    std::unique_ptr<QWebEnginePage> m_page;
    bool m_loading = false;
    bool m_hasDocument = false;
    std::chrono::milliseconds m_loadTimeout{60000};
};
