#include "text/linewriter.h"

#include "text/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

std::recursive_mutex& FileLock() {
    // Never destroyed: a worker may still log while the process exits.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

bool AppendLineToFile(const QString& fileName, std::string_view line, bool rewrite, bool lock) {
    std::unique_lock<std::recursive_mutex> guard(FileLock(), std::defer_lock);
    if (lock)
        guard.lock();
    if (rewrite) {
        // The new content replaces the old whole, or the old stays (a full disk would otherwise
        // leave the file emptied).
        // errno tells the caller why, as a failed open would.
        if (QFileInfo(fileName).isDir()) {
            errno = EISDIR;
            return false;
        }
        std::string bytes;
        bytes.reserve(line.size() + 2);
        bytes.append(line).append("\r\n");
        return replaceFileAtomically(fileName, bytes);
    }
    const QByteArray path = QFile::encodeName(fileName);
    std::FILE* file = std::fopen(path.constData(), "abe");
    if (!file)
        return false;
    bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    ok = std::fwrite("\r\n", 1, 2, file) == 2 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

AppendLog::~AppendLog() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool AppendLog::append(std::string_view line) {
    std::string bytes;
    bytes.reserve(line.size() + 2);
    bytes.append(line).append("\r\n");
    std::lock_guard guard(FileLock());
    auto fail = [this](int error) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("Cannot write file %1: %2")
                          .arg(m_path, QString::fromLocal8Bit(std::strerror(error)));
        return false;
    };
    if (m_fd < 0) {
        m_fd = ::open(QFile::encodeName(m_path).constData(),
                      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return fail(errno);
    }
    struct stat before {};
    if (::fstat(m_fd, &before) != 0)
        return fail(errno);
    // A write that stops short is carried on, so that the reason comes from the one that fails.
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n < 0 ? errno : EIO;
        // No torn line stays behind for the next one to run into.
        if (done > 0 && ::ftruncate(m_fd, before.st_size) != 0)
            return fail(errno);
        return fail(error);
    }
    return true;
}

QString AppendLog::error() const {
    std::lock_guard guard(FileLock());
    return m_error;
}
