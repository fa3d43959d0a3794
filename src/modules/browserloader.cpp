#include "modules/browserloader.h"

#include "modules/moduleinterfaces.h"
#include "modules/moduleloader.h"

#include <QCoreApplication>
#include <QOpenGLContext>

// Qt's own hook for the context that Chromium's compositor shares textures with. Qt has no public
// way to set it after the application object exists (Qt::AA_ShareOpenGLContexts makes it in
// QApplication's constructor, a GL driver for every start); Qt WebEngine declares and calls this
// same exported function to set it. Reading it goes through the public
// QOpenGLContext::globalShareContext().
QT_BEGIN_NAMESPACE
// NOLINTNEXTLINE(readability-identifier-naming): Qt's own name
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace {

// The share context Qt WebEngine would have made at start-up, had it been linked: made only
// now, as the context costs a GL driver (tens of MB) that a start without a query never needs.
// Chromium crashes without one and looks for it as it loads. (Qt::AA_ShareOpenGLContexts, the
// usual way, would make it in QApplication's constructor.)
void makeShareContext() {
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext(qApp); // NOLINT(cppcoreguidelines-owning-memory)
    // A context that cannot be made is left as it is: Chromium then draws without the GPU.
    context->create();
    qt_gl_set_global_share_context(context);
}

// The module, with the share context it needs made before it is loaded.
BrowserModule& browserModule() {
    static const ModulePlaces browser = {"browser", MT_BROWSER_MODULE_NAME,
                                         MT_BROWSER_MODULE_INSTALLED, MT_BROWSER_MODULE_BUILT};
    makeShareContext();
    return loadModule<BrowserModule>(browser);
}

} // namespace

std::unique_ptr<PageLoader> createBrowserPage(const QString& storageDir) {
    return browserModule().createPage(storageDir);
}

QWidget* createBrowserView(PageLoader& page, QWidget* parent) {
    return browserModule().createView(page, parent);
}
