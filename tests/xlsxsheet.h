#pragma once

#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

// The cells of a spreadsheet file's first sheet, row by row, read the long way round: the
// sheet's XML out of the zip with the unzip tool, cells by their inline strings and numbers
// at their columns (A-Z), a missing cell as an empty text. Empty when the file cannot be read.
inline QList<QStringList> xlsxSheetRows(const QString& path) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"),
                {QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet1.xml")});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0)
        return {};
    const QString xml = QString::fromUtf8(unzip.readAllStandardOutput());
    static const QRegularExpression cell(QStringLiteral(
        R"re(<c r="([A-Z])(\d+)"[^>]*?(?:/>|>(?:<is><t[^>]*>(.*?)</t></is>|<v>(.*?)</v>)?</c>))re"));
    QList<QStringList> rows;
    for (const QRegularExpressionMatch& m : cell.globalMatch(xml)) {
        const int column = m.captured(1).at(0).unicode() - 'A';
        const int row = m.captured(2).toInt();
        while (rows.size() < row)
            rows << QStringList();
        QString text = m.captured(3).isNull() ? m.captured(4) : m.captured(3);
        text.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        QStringList& cells = rows[row - 1];
        while (cells.size() < column)
            cells << QString();
        cells << text;
    }
    return rows;
}
