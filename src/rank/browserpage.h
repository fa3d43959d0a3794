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
    LoadedPage loadPage(const Text& address, std::chrono::milliseconds limit) override;
    QString runScript(const QString& script) override;

    // GetBrowserHtml stops a load that takes longer; scripts get as long.
    void setLoadTimeout(std::chrono::milliseconds limit) { m_loadTimeout = limit; }
    QWebEnginePage* page() const { return m_page.get(); }

private:
    void navigate(const Text& address);
    // The serialized root element of the page held now, in GBK.
    Text html();
    // Waits for the load under way; false when the limit ended it.
    bool waitForLoad(std::chrono::milliseconds limit);

    std::unique_ptr<QWebEngineProfile> m_profile;
    // Declared after the profile: a page must go before its profile.
    std::unique_ptr<QWebEnginePage> m_page;
    bool m_loading = false;
    bool m_hasDocument = false;
    // How the last load ended, as the browser reported it.
    bool m_loadOk = true;
    QString m_loadError;
    int m_httpStatus = 0;
    std::chrono::milliseconds m_loadTimeout{60000};
};
