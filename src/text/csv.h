#pragma once

#include <QString>
#include <QStringList>

// RFC 4180: fields with commas, quotes or line breaks in double quotes, quotes doubled.
QString CsvLine(const QStringList& fields);
