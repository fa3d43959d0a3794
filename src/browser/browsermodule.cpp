#include "browserpage.h"

#include <QWebEngineView>

// The module's entries, looked up by name by whoever loads it (browserloader.h).

extern "C" Q_DECL_EXPORT PageLoader* mtCreateBrowserPage(const QString& storageDir) {
    return new BrowserPage(storageDir);
}

// A view of a page made by mtCreateBrowserPage, where a person can work in it.
extern "C" Q_DECL_EXPORT QWidget* mtCreateBrowserView(PageLoader& page, QWidget* parent) {
    auto* view = new QWebEngineView(parent);
    view->setPage(static_cast<BrowserPage&>(page).page());
    return view;
}
