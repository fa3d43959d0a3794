#include "core/datafolder.h"

#include "text/apperror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace {

bool isInstalledCopy(const QString& programFolder) {
    return QFileInfo::exists(programFolder +
                             QStringLiteral("/../share/applications/moting-seo.desktop"));
}

} // namespace

QString defaultDataFolder() {
    const QString folder = QCoreApplication::applicationDirPath();
    return dataFolderFor(folder, isWritableFolder(folder));
}

QString dataFolderFor(const QString& programFolder, bool programFolderWritable) {
    if (programFolderWritable && !isInstalledCopy(programFolder))
        return QDir(programFolder).absolutePath();
    return userDataFolder();
}

bool isWritableFolder(const QString& folder) {
    // access() and not the permission bits: it knows about read-only mounts and ACLs.
    return QFileInfo(folder).isDir() &&
           access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

QString userDataFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        throw AppError(
            QStringLiteral("Cannot find a folder for the user's data (HOME is not set)"));
    QString folder = QDir(base).absoluteFilePath(QStringLiteral("moting-seo"));
    if (!QDir().mkpath(folder))
        throw AppError(QStringLiteral("Cannot create folder %1").arg(folder));
    return folder;
}
