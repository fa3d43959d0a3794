#include "linewriter.h"

#include <QFile>
#include <cstdio>

std::recursive_mutex& FileLock() {
    // Never destroyed: a worker may still log while the process exits.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

bool AppendLineToFile(const QString& fileName, std::string_view line, bool rewrite, bool lock) {
    std::unique_lock<std::recursive_mutex> guard(FileLock(), std::defer_lock);
    if (lock)
        guard.lock();
    const QByteArray path = QFile::encodeName(fileName);
    std::FILE* file = std::fopen(path.constData(), rewrite ? "wbe" : "abe");
    if (!file)
        return false;
    bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    ok = std::fwrite("\r\n", 1, 2, file) == 2 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}
