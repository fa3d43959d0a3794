#include "text/csvtext.h"

#include "text/apperror.h"

#include <QStringDecoder>
#include <csv.h>

QString csvLine(const QStringList& fields) {
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

namespace {

struct Records {
    QList<QStringList> rows;
    QStringList current;
    bool badText = false;
};

void onField(void* data, size_t size, void* target) {
    auto* records = static_cast<Records*>(target);
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    records->current << decode(
        QByteArrayView(static_cast<const char*>(data), static_cast<qsizetype>(size)));
    records->badText = records->badText || decode.hasError();
}

void onRecord(int, void* target) {
    auto* records = static_cast<Records*>(target);
    records->rows << std::move(records->current);
    records->current.clear();
}

// The library trims spaces and tabs around fields by default; a site or keyword keeps them.
int noSpace(unsigned char) {
    return 0;
}

int lineNumber(const QByteArray& bytes, qsizetype upTo) {
    return static_cast<int>(bytes.left(upTo).count('\n')) + 1;
}

} // namespace

QList<QStringList> readCsv(const QByteArray& utf8) {
    QByteArray bytes = utf8;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0)
        throw AppError(QStringLiteral("Out of memory"));
    csv_set_space_func(&parser, noSpace);
    Records records;
    const size_t parsed = csv_parse(&parser, bytes.constData(), static_cast<size_t>(bytes.size()),
                                    onField, onRecord, &records);
    const bool stray = parsed != static_cast<size_t>(bytes.size());
    const bool unclosed = !stray && csv_fini(&parser, onField, onRecord, &records) != 0;
    csv_free(&parser);
    if (stray)
        throw AppError(QStringLiteral("The CSV text is malformed at line %1 (a quote inside a "
                                      "field that is not quoted, or after a closing quote)")
                           .arg(lineNumber(bytes, static_cast<qsizetype>(parsed))));
    if (unclosed)
        throw AppError(QStringLiteral("The CSV text is malformed: a quoted field that begins in "
                                      "record %1 is never closed")
                           .arg(records.rows.size() + 1));
    if (records.badText)
        throw AppError(QStringLiteral("The CSV text is not UTF-8"));
    return records.rows;
}
