#include "modules/moduleentries.h"
#include "report/rankchart.h"
#include "report/xlsxtable.h"

#include <QChartView>

// The module's entries (moduleentries.h), looked up by name by reportloader.cpp.

QWidget* mtCreateRankChartView(const RankTrend& trend, const QString& title,
                               const QStringList& engineNames, QWidget* parent) {
    auto* view = new QChartView(makeRankChart(trend, title, engineNames).release(), parent);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

bool mtSaveRankChartPng(const RankTrend& trend, const QString& title,
                        const QStringList& engineNames, const QString& path, QSize size) {
    return saveRankChartPng(trend, title, engineNames, path, size);
}

bool mtWriteXlsxTable(const QString& path, const QString& sheet, const QStringList& header,
                      const QList<QStringList>& rows) {
    return writeXlsxTable(path, sheet, header, rows);
}
