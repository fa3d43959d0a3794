#include "text/csvtext.h"

#include "text/apperror.h"
#include "text/codepage.h"

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
};

void onField(void* data, size_t size, void* target) {
    auto* records = static_cast<Records*>(target);
    records->current << QString::fromUtf8(static_cast<const char*>(data),
                                          static_cast<qsizetype>(size));
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
    // Checked whole first: decoded, a byte that is no UTF-8 would turn into U+FFFD unseen.
    const size_t bad =
        invalidUtf8At(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (bad != std::string_view::npos)
        throw AppError(
            QStringLiteral("The CSV text is not UTF-8: line %1 holds the byte %2")
                .arg(lineNumber(bytes, static_cast<qsizetype>(bad)))
                .arg(byteName(static_cast<unsigned char>(bytes[static_cast<qsizetype>(bad)]))));
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
    return records.rows;
}
