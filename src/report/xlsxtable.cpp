#include "report/xlsxtable.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <xlsxwriter.h>

bool writeXlsxTable(const QString& path, const QString& sheet, const QStringList& header,
                    const QList<QStringList>& rows) {
    // Written beside the target and renamed over it, so a failure leaves the old file.
    const QString part = path + QStringLiteral(".part");
    const QByteArray partName = QFile::encodeName(part);
    // The library says its own errors on standard error: what can be seen beforehand is seen
    // here, and said once.
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir() || !folder.isWritable() || QFileInfo(path).isDir())
        return false;
    lxw_workbook_options options{};
    // Strings in the sheet itself, row by row: no table of all strings held in memory.
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(partName.constData(), &options);
    if (!book) {
        QFile::remove(part);
        return false;
    }
    lxw_worksheet* page = workbook_add_worksheet(book, sheet.toUtf8().constData());
    auto put = [&](lxw_row_t r, const QStringList& cells) {
        for (lxw_col_t c = 0; c < static_cast<lxw_col_t>(cells.size()); ++c) {
            bool number = false;
            const int value = cells[static_cast<qsizetype>(c)].toInt(&number);
            if (number)
                worksheet_write_number(page, r, c, value, nullptr);
            else
                worksheet_write_string(
                    page, r, c, cells[static_cast<qsizetype>(c)].toUtf8().constData(), nullptr);
        }
    };
    if (page) {
        put(0, header);
        for (qsizetype i = 0; i < rows.size(); ++i)
            put(static_cast<lxw_row_t>(i + 1), rows[i]);
    }
    if (workbook_close(book) == LXW_NO_ERROR && page &&
        std::rename(partName.constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    QFile::remove(part);
    return false;
}
