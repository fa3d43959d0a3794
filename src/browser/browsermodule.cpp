#include "browser/browserpage.h"
#include "modules/moduleinterfaces.h"

#include <QObject>
#include <QWebEngineView>

// The module's object, as browserloader.cpp loads it.
class BrowserPlugin : public QObject, public BrowserModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MT_BROWSER_MODULE_IID)
    Q_INTERFACES(BrowserModule)

public:
    std::unique_ptr<PageLoader> createPage(const QString& storageDir) override {
        return std::make_unique<BrowserPage>(storageDir);
    }

    QWidget* createView(PageLoader& page, QWidget* parent) override {
        auto* view = new QWebEngineView(parent);
        view->setPage(static_cast<BrowserPage&>(page).page());
        return view;
    }
};

#include "browsermodule.moc"
