#include "browser/browserpage.h"
#include "modules/moduleentries.h"

#include <QWebEngineView>

// The module's entries (moduleentries.h), looked up by name by browserloader.cpp.

PageLoader* mtCreateBrowserPage(const QString& storageDir) {
    return new BrowserPage(storageDir);
}

QWidget* mtCreateBrowserView(PageLoader& page, QWidget* parent) {
    auto* view = new QWebEngineView(parent);
    view->setPage(static_cast<BrowserPage&>(page).page());
    return view;
}
