#include "text/datafile.h"

#include "text/apperror.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray readDataFile(const QString& path) {
    const QString cannot = QStringLiteral("Cannot open file %1").arg(path);
    // Not blocking: a FIFO with no writer would otherwise hold the open for ever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw AppError(cannot);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))
        throw AppError(cannot);
    if (!S_ISREG(info.st_mode))
        throw AppError(cannot + QStringLiteral(": it is no regular file"));
    auto tooLarge = [&] {
        return AppError(
            cannot +
            QStringLiteral(": it is larger than %1 MB").arg(kMaxDataFileSize / (1024LL * 1024)));
    };
    if (info.st_size > kMaxDataFileSize)
        throw tooLarge();
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw AppError(cannot);
        }
        // The file may grow while it is read.
        if (bytes.size() + n > kMaxDataFileSize)
            throw tooLarge();
        bytes.append(buffer, n);
    }
    return bytes;
}
