#include "browserloader.h"

#include "apperror.h"

#include <QCoreApplication>
#include <QLibrary>

std::unique_ptr<PageLoader> CreateBrowserPage(const QString& storageDir) {
    using Create = PageLoader* (*)(const QString&);
    // Beside the executable in the program folder; programs of the build tree (tests,
    // benchmarks) find it where the build put it.
    const QStringList candidates = {QCoreApplication::applicationDirPath() +
                                        QStringLiteral("/" MT_BROWSER_MODULE_NAME),
                                    QStringLiteral(MT_BROWSER_MODULE_PATH)};
    QString error;
    for (const QString& path : candidates) {
        QLibrary module(path);
        if (auto create = reinterpret_cast<Create>(module.resolve("MtCreateBrowserPage")))
            return std::unique_ptr<PageLoader>(create(storageDir));
        error = module.errorString();
    }
    throw AppError(QStringLiteral("Cannot load the browser module: %1").arg(error));
}
