#include "browser/browserpage.h"

#include "text/codepage.h"

#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

BrowserPage::BrowserPage(const QString& storageDir, QObject* parent)
    : m_profile(std::make_unique<QWebEngineProfile>(QStringLiteral("ResultPages"), parent)) {
    m_profile->setPersistentStoragePath(storageDir);
    m_profile->setCachePath(storageDir + QStringLiteral("/cache"));
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    m_page = std::make_unique<QWebEnginePage>(m_profile.get());
    // Nothing is shown and nothing is heard: the page works unseen.
    m_page->setAudioMuted(true);
    m_page->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    m_limit.setSingleShot(true);
    QObject::connect(&m_limit, &QTimer::timeout, m_page.get(), [this] {
        if (!m_loading)
            return;
        // The callback goes first: the stop may report the end of the load at once.
        m_loading = false;
        m_hasDocument = true;
        auto done = std::exchange(m_onLoad, {});
        m_page->triggerAction(QWebEnginePage::Stop);
        if (done)
            done(true);
    });
    QObject::connect(m_page.get(), &QWebEnginePage::loadStarted, m_page.get(), [this] {
        // A load a person starts in a view of the page is told like any other.
        if (!m_loading) {
            m_loadOk = true;
            m_loadError.clear();
            m_httpStatus = 0;
        }
        m_loading = true;
    });
    QObject::connect(m_page.get(), &QWebEnginePage::loadingChanged, m_page.get(),
                     [this](const QWebEngineLoadingInfo& info) {
                         if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
                             return;
                         m_loadOk = false;
                         m_loadError = info.errorString();
                         if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
                             m_httpStatus = info.errorCode();
                     });
    QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, m_page.get(), [this](bool ok) {
        m_loading = false;
        m_hasDocument = true;
        if (!ok)
            m_loadOk = false;
        m_limit.stop();
        // The load's error status is told after its end: the answer waits for it.
        if (auto done = std::exchange(m_onLoad, {}))
            QTimer::singleShot(0, m_page.get(),
                               whileCurrent([done = std::move(done)] { done(false); }));
    });
}

BrowserPage::~BrowserPage() {
    cancel();
    m_page.reset();
    m_profile.reset();
}

void BrowserPage::cancel() {
    ++*m_generation;
    m_onLoad = {};
    m_limit.stop();
}

void BrowserPage::navigate(const Text& address) {
    m_loading = true;
    m_loadOk = true;
    m_loadError.clear();
    m_httpStatus = 0;
    m_page->load(QUrl(QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size())),
                      QUrl::TolerantMode));
}

void BrowserPage::loadPage(const Text& address, std::chrono::milliseconds limit,
                           std::function<void(const LoadedPage&)> done) {
    cancel();
    if (address.empty()) {
        LoadedPage loaded;
        loaded.error = QStringLiteral("搜索引擎没有网址");
        // Answered later, as every other load is, unless cancelled meanwhile.
        QTimer::singleShot(0, m_page.get(),
                           whileCurrent([done = std::move(done), loaded] { done(loaded); }));
        return;
    }
    m_onLoad = [this, limit, done = std::move(done)](bool timedOut) {
        done(outcome(timedOut, limit));
    };
    navigate(address);
    m_limit.start(limit);
}

LoadedPage BrowserPage::outcome(bool timedOut, std::chrono::milliseconds limit) const {
    LoadedPage loaded;
    if (timedOut) {
        loaded.status = LoadedPage::Status::TimedOut;
        loaded.error =
            QStringLiteral("%1 秒内未载入完成").arg(static_cast<double>(limit.count()) / 1000.0);
    } else if (!m_loadOk) {
        loaded.status = LoadedPage::Status::Failed;
        loaded.httpStatus = m_httpStatus;
        loaded.error = m_httpStatus != 0 ? QStringLiteral("HTTP 状态 %1").arg(m_httpStatus)
                       : m_loadError.isEmpty()
                           ? QStringLiteral("页面未能载入")
                           : QStringLiteral("页面未能载入: %1").arg(m_loadError);
    } else {
        loaded.status = LoadedPage::Status::Loaded;
    }
    loaded.url = m_page->url().toString();
    loaded.title = m_page->title();
    return loaded;
}

void BrowserPage::waitForNavigation(std::function<void(const LoadedPage&)> done) {
    cancel();
    m_onLoad = [this, done = std::move(done)](bool) {
        done(outcome(false, std::chrono::milliseconds(0)));
    };
}

void BrowserPage::GetBrowserHtml(const Text& address, std::function<void(const Text&)> done) {
    auto serialize = [this, done = std::move(done)](bool) {
        if (!m_hasDocument) {
            done({});
            return;
        }
        runScript(QStringLiteral("document.documentElement ? "
                                 "document.documentElement.outerHTML : ''"),
                  [done](const QString& html) { done(qStringToGbk(html)); });
    };
    if (!address.empty()) {
        cancel();
        m_onLoad = std::move(serialize);
        navigate(address);
        m_limit.start(m_loadTimeout);
    } else if (m_loading && m_onLoad == nullptr) {
        // A load under way that nobody waits for: its end is the page asked for.
        m_onLoad = std::move(serialize);
        m_limit.start(m_loadTimeout);
    } else {
        serialize(false);
    }
}

void BrowserPage::runScript(const QString& script, std::function<void(const QString&)> done) {
    // One answer at most: the page's, or none when the page cannot give one in time (it
    // crashed, or a newer call replaced this one).
    struct Pending {
        std::function<void(const QString&)> done;
        std::weak_ptr<int> generation;
        int asked;
        bool live() const {
            const auto g = generation.lock();
            return done && g && *g == asked;
        }
    };
    auto pending = std::make_shared<Pending>(Pending{std::move(done), m_generation, *m_generation});
    m_page->runJavaScript(script, [pending](const QVariant& result) {
        if (pending->live())
            std::exchange(pending->done, {})(result.toString());
    });
    QTimer::singleShot(m_loadTimeout, m_page.get(), [pending] {
        if (pending->live())
            std::exchange(pending->done, {})(QString());
    });
}
