#pragma once

#include "text/text.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The most a data file of the program ("Url.txt", "SL.txt", "Setting.ini", ...) may hold; far
// beyond any real list, short of what would exhaust memory.
inline constexpr qint64 kMaxDataFileSize = 64LL * 1024 * 1024;

// The bytes of one of the program's data files. Throws AppError "Cannot open file <path>" when
// it cannot be read, and says so when it is no regular file (a FIFO would block for ever, a
// device such as /dev/zero never ends) or is larger than kMaxDataFileSize.
QByteArray readDataFile(const QString& path);

// Why a data file could not be read, in words for the user ("it is a folder", "no permission to
// read it", ...).
struct DataFileProblem {
    enum class Kind { None, Open, Folder, NoRegularFile, TooLarge, Read };
    Kind kind = Kind::None;
    QString why;
};
// As readDataFile, without throwing: no bytes, and problem says why.
std::optional<QByteArray> tryReadDataFile(const QString& path, DataFileProblem& problem);

// The lines of one of the program's list files ("Url.txt", "SL.txt"): GBK (GB18030), or UTF-8
// when the file opens with its byte-order mark (the mark dropped, the lines converted to
// GB18030, as "Setting.ini" is read). CR LF, LF and CR alone end a line; a break at the very end
// adds no line.
struct FileLines {
    TextList lines;
    bool utf8 = false;
    // The first line (from 1) that is no text: it holds a control character other than a tab,
    // or bytes that are no GB18030 (no UTF-8 in a marked file), as a binary or UTF-16 file does;
    // 0 when every line is text.
    size_t firstBadLine = 0;
};
FileLines readFileLines(const QByteArray& bytes);
