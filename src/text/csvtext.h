#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// RFC 4180: fields with commas, quotes or line breaks in double quotes, quotes doubled.
QString csvLine(const QStringList& fields);

// The records of a CSV file in UTF-8 (a leading byte-order mark is skipped), fields exactly as
// written: spaces kept, quotes undone. Empty lines are no records. A malformed file (a stray
// quote, bytes that are not UTF-8) throws AppError naming the line.
QList<QStringList> readCsv(const QByteArray& utf8);
