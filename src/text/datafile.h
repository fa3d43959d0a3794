#pragma once

#include <QByteArray>
#include <QString>

// The most a data file of the program ("Url.txt", "SL.txt", "Setting.ini", ...) may hold; far
// beyond any real list, short of what would exhaust memory.
inline constexpr qint64 kMaxDataFileSize = 64LL * 1024 * 1024;

// The bytes of one of the program's data files. Throws AppError "Cannot open file <path>" when
// it cannot be read, and says so when it is no regular file (a FIFO would block for ever, a
// device such as /dev/zero never ends) or is larger than kMaxDataFileSize.
QByteArray readDataFile(const QString& path);
