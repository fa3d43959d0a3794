#include "csv.h"

QString CsvLine(const QStringList& fields) {
    QStringList quoted;
    for (QString field : fields) {
        if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
            field.replace(QLatin1String("\""), QLatin1String("\"\""));
            field = QLatin1Char('"') + field + QLatin1Char('"');
        }
        quoted << field;
    }
    return quoted.join(QLatin1Char(','));
}
