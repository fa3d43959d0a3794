#include "browserpage.h"

#include "codepage.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>
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
    QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, [this] {
        m_loading = false;
        m_hasDocument = true;
    });
}

BrowserPage::~BrowserPage() {
    m_page.reset();
    m_profile.reset();
}

Text BrowserPage::GetBrowserHtml(const Text& address) {
    if (!address.empty()) {
        m_loading = true;
        m_page->load(
            QUrl(QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size())),
                 QUrl::TolerantMode));
    }
    if (m_loading) {
        // Events go on while the page loads: the window stays responsive and can be closed.
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        limit.start(m_loadTimeout);
        while (m_loading && limit.isActive())
            loop.exec();
        if (m_loading) {
            m_page->triggerAction(QWebEnginePage::Stop);
            m_loading = false;
            m_hasDocument = true;
        }
    }
    if (!m_hasDocument)
        return {};
    return QStringToGbk(outerHtml());
}

QString BrowserPage::outerHtml() {
    // The answer may come after we stopped waiting for it (the page crashed): it then writes
    // into state that outlives this call.
    struct Answer {
        QString html;
        bool done = false;
        QEventLoop* loop = nullptr;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    answer->loop = &loop;
    m_page->runJavaScript(QStringLiteral("document.documentElement ? "
                                         "document.documentElement.outerHTML : ''"),
                          [answer](const QVariant& result) {
                              answer->html = result.toString();
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
    return answer->html;
}
