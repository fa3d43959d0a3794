#include "text/datafile.h"

#include "text/apperror.h"
#include "text/codepage.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QByteArray> tryReadDataFile(const QString& path, DataFileProblem& problem) {
    problem = {};
    auto fail = [&](DataFileProblem::Kind kind, QString why) {
        problem = {kind, std::move(why)};
        return std::nullopt;
    };
    // Not blocking: a FIFO with no writer would otherwise hold the open for ever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int failure = errno;
        return fail(DataFileProblem::Kind::Open,
                    failure == EACCES ? QStringLiteral("no permission to read it")
                                      : QString::fromLocal8Bit(std::strerror(failure)));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fail(DataFileProblem::Kind::Open, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        return fail(DataFileProblem::Kind::Folder, QStringLiteral("it is a folder"));
    if (!S_ISREG(info.st_mode))
        return fail(DataFileProblem::Kind::NoRegularFile, QStringLiteral("it is no regular file"));
    const QString tooLarge =
        QStringLiteral("it is larger than %1 MB").arg(kMaxDataFileSize / (1024LL * 1024));
    if (info.st_size > kMaxDataFileSize)
        return fail(DataFileProblem::Kind::TooLarge, tooLarge);
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
            return fail(DataFileProblem::Kind::Read, QString::fromLocal8Bit(std::strerror(errno)));
        }
        // The file may grow while it is read.
        if (bytes.size() + n > kMaxDataFileSize)
            return fail(DataFileProblem::Kind::TooLarge, tooLarge);
        bytes.append(buffer, n);
    }
    return bytes;
}

QByteArray readDataFile(const QString& path) {
    DataFileProblem problem;
    std::optional<QByteArray> bytes = tryReadDataFile(path, problem);
    if (bytes)
        return std::move(*bytes);
    QString message = QStringLiteral("Cannot open file %1").arg(path);
    if (problem.kind == DataFileProblem::Kind::NoRegularFile ||
        problem.kind == DataFileProblem::Kind::TooLarge)
        message += QStringLiteral(": ") + problem.why;
    throw AppError(message);
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
