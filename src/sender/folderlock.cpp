#include "sender/folderlock.h"

#include "text/apperror.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FolderLock::~FolderLock() {
    if (m_fd >= 0)
        ::close(m_fd); // lets go of the lock
}

std::unique_ptr<FolderLock> FolderLock::take(const QString& folder) {
    // An advisory lock on the folder itself: no lock file to leave behind, and the system lets
    // go of it when the process ends, however it ends.
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw AppError(QStringLiteral("Cannot open folder %1").arg(folder));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            throw AppError(QStringLiteral("另一个群发正在 %1 中进行，请等它结束后再开始")
                               .arg(QDir::toNativeSeparators(folder)));
        throw AppError(QStringLiteral("Cannot lock folder %1").arg(folder));
    }
    auto lock = std::unique_ptr<FolderLock>(new FolderLock);
    lock->m_fd = fd;
    return lock;
}
