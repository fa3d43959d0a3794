#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A table as a spreadsheet file (XLSX): the header in the first row, then the rows; a cell
// that is a whole number is written as a number. The file is replaced whole; false when it
// cannot be written.
bool writeXlsxTable(const QString& path, const QString& sheet, const QStringList& header,
                    const QList<QStringList>& rows);
