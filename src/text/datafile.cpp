#include "text/datafile.h"

#include "text/apperror.h"
#include "text/codepage.h"

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

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool isText(std::string_view line, bool utf8) {
    for (const char c : line)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
            return false;
    return (utf8 ? invalidUtf8At(line) : invalidGbkAt(line)) == std::string_view::npos;
}

} // namespace

FileLines readFileLines(const QByteArray& bytes) {
    FileLines file;
    std::string_view view(bytes.constData(), static_cast<size_t>(bytes.size()));
    file.utf8 = view.substr(0, kUtf8Mark.size()) == kUtf8Mark;
    if (file.utf8)
        view.remove_prefix(kUtf8Mark.size());
    file.lines = splitFileLines(view);
    for (size_t i = 0; i < file.lines.size(); ++i) {
        Text& line = file.lines[i];
        if (file.firstBadLine == 0 && !isText(line, file.utf8))
            file.firstBadLine = i + 1;
        if (file.utf8)
            line = utf8ToGbk(line);
    }
    return file;
}
