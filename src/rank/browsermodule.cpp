#include "browserpage.h"

// The module's one entry: the window program loads this library only for its first rank
// query, so Chromium's large libraries cost nothing at start-up.
extern "C" Q_DECL_EXPORT PageLoader* MtCreateBrowserPage(const QString& storageDir) {
    return new BrowserPage(storageDir);
}
