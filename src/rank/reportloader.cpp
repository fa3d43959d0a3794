#include "reportloader.h"

#include "apperror.h"
#include "moduleloader.h"

void* reportModuleEntry(const char* name) {
    static const ModulePlaces report = {"report", MT_REPORT_MODULE_NAME, MT_REPORT_MODULE_INSTALLED,
                                        MT_REPORT_MODULE_BUILT};
    return moduleEntry(report, name);
}

QString rankChartTitle(const QString& site, const QString& keyword) {
    return QStringLiteral("排名走势：%1 — %2").arg(site, keyword);
}

QStringList rankChartEngineNames(const RankTrend& trend, const EngineProfiles& profiles) {
    QStringList names;
    for (const RankTrend::Line& line : trend.lines) {
        if (line.engine < 0)
            continue;
        while (names.size() <= line.engine)
            names << QString();
        names[line.engine] = SortQuerySearcherTypeGetText(line.engine, profiles);
    }
    return names;
}

void saveRankChartPng(const RankTrend& trend, const QString& title, const QString& path,
                      QSize size) {
    using Save =
        bool (*)(const RankTrend&, const QString&, const QStringList&, const QString&, QSize);
    auto save = reinterpret_cast<Save>(reportModuleEntry("mtSaveRankChartPng"));
    if (!save(trend, title, rankChartEngineNames(trend), path, size))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
}

void writeXlsxTable(const QString& path, const QString& sheet, const QStringList& header,
                    const QList<QStringList>& rows) {
    using Write =
        bool (*)(const QString&, const QString&, const QStringList&, const QList<QStringList>&);
    auto write = reinterpret_cast<Write>(reportModuleEntry("mtWriteXlsxTable"));
    if (!write(path, sheet, header, rows))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
}
