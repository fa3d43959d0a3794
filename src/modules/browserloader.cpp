#include "modules/browserloader.h"

#include "modules/moduleentries.h"
#include "modules/moduleloader.h"

#include <QCoreApplication>
#include <QOpenGLContext>

// Qt's own hook for the context that Chromium's compositor shares textures with; Qt WebEngine
// declares it the same way.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
QT_END_NAMESPACE

namespace {

// The share context Qt WebEngine would have made at start-up, had it been linked: made only
// now, as the context costs a GL driver (tens of MB) that a start without a query never needs.
// Chromium crashes without one and looks for it as it loads. (Qt::AA_ShareOpenGLContexts, the
// usual way, would make it in QApplication's constructor.)
void makeShareContext() {
    if (qt_gl_global_share_context())
        return;
    auto* context = new QOpenGLContext(qApp); // NOLINT(cppcoreguidelines-owning-memory)
    // A context that cannot be made is left as it is: Chromium then draws without the GPU.
    context->create();
    qt_gl_set_global_share_context(context);
}

// The module's places, with the share context it needs made before it is loaded.
const ModulePlaces& browserModule() {
    static const ModulePlaces browser = {"browser", MT_BROWSER_MODULE_NAME,
                                         MT_BROWSER_MODULE_INSTALLED, MT_BROWSER_MODULE_BUILT};
    makeShareContext();
    return browser;
}

} // namespace

std::unique_ptr<PageLoader> createBrowserPage(const QString& storageDir) {
    return std::unique_ptr<PageLoader>(
        MT_MODULE_ENTRY(browserModule(), mtCreateBrowserPage)(storageDir));
}

QWidget* createBrowserView(PageLoader& page, QWidget* parent) {
    return MT_MODULE_ENTRY(browserModule(), mtCreateBrowserView)(page, parent);
}
