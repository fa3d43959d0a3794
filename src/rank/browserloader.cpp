#include "browserloader.h"

#include "apperror.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibrary>
#include <QOpenGLContext>
#include <memory>

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

QLibrary& browserModule() {
    static QLibrary* module = nullptr; // never unloaded: its pages and views live to the end
    if (module)
        return *module;
    // Beside the executable in its program folder, at its installed place, or, for programs of
    // the build tree (tests, benchmarks), where the build put it.
    const QStringList candidates = {
        QCoreApplication::applicationDirPath() + QStringLiteral("/" MT_BROWSER_MODULE_NAME),
        QCoreApplication::applicationDirPath() + QStringLiteral("/" MT_BROWSER_MODULE_INSTALLED),
        QStringLiteral(MT_BROWSER_MODULE_BUILT)};
    makeShareContext();
    QString error;
    for (const QString& path : candidates) {
        if (!QFile::exists(path))
            continue;
        auto library = std::make_unique<QLibrary>(path);
        library->setLoadHints(QLibrary::PreventUnloadHint);
        if (library->load()) {
            module = library.release();
            return *module;
        }
        error = library->errorString();
    }
    if (error.isEmpty())
        error =
            QStringLiteral("%1 is not in %2")
                .arg(QStringLiteral(MT_BROWSER_MODULE_NAME), candidates.join(QStringLiteral(", ")));
    throw AppError(QStringLiteral("Cannot load the browser module: %1").arg(error));
}

} // namespace

void* browserModuleEntry(const char* name) {
    QLibrary& module = browserModule();
    if (QFunctionPointer entry = module.resolve(name))
        return reinterpret_cast<void*>(entry);
    throw AppError(QStringLiteral("Cannot load the browser module: %1").arg(module.errorString()));
}

std::unique_ptr<PageLoader> createBrowserPage(const QString& storageDir) {
    using Create = PageLoader* (*)(const QString&);
    auto create = reinterpret_cast<Create>(browserModuleEntry("mtCreateBrowserPage"));
    return std::unique_ptr<PageLoader>(create(storageDir));
}
