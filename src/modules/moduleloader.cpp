#include "modules/moduleloader.h"

#include "text/apperror.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QLibrary>
#include <memory>
#include <mutex>

namespace {

[[noreturn]] void failToLoad(const ModulePlaces& module, const QString& reason) {
    throw AppError(
        QStringLiteral("Cannot load the %1 module: %2").arg(QLatin1String(module.what), reason));
}

QLibrary& loadModule(const ModulePlaces& module) {
    // Never unloaded: their pages and views live to the end. Never destroyed either, so that
    // the libraries stay reachable to the leak checker after the statics are gone.
    static auto& loaded = *new QHash<QString, QLibrary*>;
    static std::mutex lock;
    std::lock_guard guard(lock);
    if (QLibrary* library = loaded.value(QLatin1String(module.fileName)))
        return *library;
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QStringList candidates = {dir + QLatin1String(module.fileName),
                                    dir + QLatin1String(module.installed),
                                    QLatin1String(module.built)};
    QString error;
    for (const QString& path : candidates) {
        if (!QFile::exists(path))
            continue;
        auto library = std::make_unique<QLibrary>(path);
        library->setLoadHints(QLibrary::PreventUnloadHint);
        if (library->load()) {
            QLibrary* kept = library.release();
            loaded.insert(QLatin1String(module.fileName), kept);
            return *kept;
        }
        error = library->errorString();
    }
    if (error.isEmpty())
        error = QStringLiteral("%1 is not in %2")
                    .arg(QLatin1String(module.fileName), candidates.join(QStringLiteral(", ")));
    failToLoad(module, error);
}

} // namespace

void* moduleEntry(const ModulePlaces& module, const char* name) {
    QLibrary& library = loadModule(module);
    if (QFunctionPointer entry = library.resolve(name))
        return reinterpret_cast<void*>(entry);
    failToLoad(module, library.errorString());
}
