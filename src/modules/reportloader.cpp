#include "modules/reportloader.h"

#include "modules/moduleinterfaces.h"
#include "modules/moduleloader.h"
#include "text/apperror.h"

namespace {

ReportModule& reportModule() {
    static const ModulePlaces report = {"report", MT_REPORT_MODULE_NAME, MT_REPORT_MODULE_INSTALLED,
                                        MT_REPORT_MODULE_BUILT};
    return loadModule<ReportModule>(report);
}

} // namespace

QWidget* createRankChartView(const RankTrend& trend, const QString& title, QWidget* parent) {
    return reportModule().createRankChartView(trend, title, rankChartEngineNames(trend), parent);
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
    if (!reportModule().saveRankChartPng(trend, title, rankChartEngineNames(trend), path, size))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
}

void writeXlsxTable(const QString& path, const QString& sheet, const QStringList& header,
                    const QList<QStringList>& rows) {
    if (!reportModule().writeXlsxTable(path, sheet, header, rows))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
}
