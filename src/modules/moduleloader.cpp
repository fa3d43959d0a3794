#include "modules/moduleloader.h"

#include "text/apperror.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonObject>
#include <QPluginLoader>
#include <memory>
#include <mutex>

namespace {

[[noreturn]] void failToLoad(const ModulePlaces& module, const QString& reason) {
    throw AppError(
        QStringLiteral("Cannot load the %1 module: %2").arg(QLatin1String(module.what), reason));
}

QObject* loadInstance(const ModulePlaces& module, const char* interfaceId) {
    // Never unloaded: their pages and views live to the end. Never destroyed either, so that
    // the libraries stay reachable to the leak checker after the statics are gone.
    static auto& loaded = *new QHash<QString, QPluginLoader*>;
    static std::mutex lock;
    std::lock_guard guard(lock);
    if (QPluginLoader* loader = loaded.value(QLatin1String(module.fileName)))
        return loader->instance();
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QStringList candidates = {dir + QLatin1String(module.fileName),
                                    dir + QLatin1String(module.installed),
                                    QLatin1String(module.built)};
    QString error;
    for (const QString& path : candidates) {
        if (!QFile::exists(path))
            continue;
        auto loader = std::make_unique<QPluginLoader>(path);
        loader->setLoadHints(QLibrary::PreventUnloadHint);
        const QString id = loader->metaData().value(QLatin1String("IID")).toString();
        if (!loader->metaData().isEmpty() && id != QLatin1String(interfaceId)) {
            // Its code is never run: a module of another version may lay its calls out
            // differently.
            error = QStringLiteral("%1 is a module of another version (%2, this program needs %3)")
                        .arg(path, id, QLatin1String(interfaceId));
            continue;
        }
        if (QObject* instance = loader->instance()) {
            loaded.insert(QLatin1String(module.fileName), loader.release());
            return instance;
        }
        error = loader->errorString();
    }
    if (error.isEmpty())
        error = QStringLiteral("%1 is not in %2")
                    .arg(QLatin1String(module.fileName), candidates.join(QStringLiteral(", ")));
    failToLoad(module, error);
}

} // namespace

QObject* moduleInstance(const ModulePlaces& module, const char* interfaceId) {
    QObject* instance = loadInstance(module, interfaceId);
    // The id was checked as it loaded; the object must say the same.
    if (!instance->qt_metacast(interfaceId))
        failToLoad(
            module,
            QStringLiteral("its object does not implement %1").arg(QLatin1String(interfaceId)));
    return instance;
}
