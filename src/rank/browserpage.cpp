#include "browserpage.h"

#include "codepage.h"

#include <QEventLoop>
#include <QTimer>
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
    QObject::connect(m_page.get(), &QWebEnginePage::loadStarted, [this] { m_loading = true; });
    QObject::connect(m_page.get(), &QWebEnginePage::loadingChanged,
                     [this](const QWebEngineLoadingInfo& info) {
                         if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
                             return;
                         m_loadOk = false;
                         m_loadError = info.errorString();
                         if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
                             m_httpStatus = info.errorCode();
                     });
    QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, [this](bool ok) {
        m_loading = false;
        m_hasDocument = true;
        if (!ok)
            m_loadOk = false;
    });
}

BrowserPage::~BrowserPage() {
    m_page.reset();
    m_profile.reset();
}

void BrowserPage::navigate(const Text& address) {
    m_loading = true;
    m_loadOk = true;
    m_loadError.clear();
    m_httpStatus = 0;
    m_page->load(QUrl(QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size())),
                      QUrl::TolerantMode));
}

bool BrowserPage::waitForLoad(std::chrono::milliseconds limitTime) {
    if (!m_loading)
        return true;
    // Events go on while the page loads: the window stays responsive and can be closed.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
    limit.start(limitTime);
    while (m_loading && limit.isActive())
        loop.exec();
    if (!m_loading)
        return true;
    m_page->triggerAction(QWebEnginePage::Stop);
    m_loading = false;
    m_hasDocument = true;
    return false;
}

Text BrowserPage::GetBrowserHtml(const Text& address) {
    if (!address.empty())
        navigate(address);
    // A load past its limit is stopped and the page used as it stands.
    waitForLoad(m_loadTimeout);
    return html();
}

LoadedPage BrowserPage::loadPage(const Text& address, std::chrono::milliseconds limit) {
    LoadedPage loaded;
    if (address.empty()) {
        loaded.error = QStringLiteral("搜索引擎没有网址");
        return loaded;
    }
    navigate(address);
    if (!waitForLoad(limit)) {
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

Text BrowserPage::html() {
    if (!m_hasDocument)
        return {};
    return QStringToGbk(runScript(
        QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''")));
}

QString BrowserPage::runScript(const QString& script) {
    // The answer may come after we stopped waiting for it (the page crashed): it then writes
    // into state that outlives this call.
    struct Answer {
        QString value;
        bool done = false;
        QEventLoop* loop = nullptr;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    answer->loop = &loop;
    m_page->runJavaScript(script, [answer](const QVariant& result) {
        answer->value = result.toString();
        answer->done = true;
        if (answer->loop)
            answer->loop->quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(m_loadTimeout);
    while (!answer->done && limit.isActive())
        loop.exec();
    answer->loop = nullptr;
    return answer->value;
}
