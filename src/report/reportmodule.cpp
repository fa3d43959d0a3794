#include "rankchart.h"
#include "xlsxtable.h"

#include <QChartView>

// The module's entries, looked up by name by whoever loads it (reportloader.h). They throw
// nothing: a failure is their answer.

// A view of the trend's chart, for a dialog.
extern "C" Q_DECL_EXPORT QWidget* mtCreateRankChartView(const RankTrend& trend,
                                                        const QString& title,
                                                        const QStringList& engineNames,
                                                        QWidget* parent) {
    auto* view = new QChartView(makeRankChart(trend, title, engineNames).release(), parent);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

extern "C" Q_DECL_EXPORT bool mtSaveRankChartPng(const RankTrend& trend, const QString& title,
                                                 const QStringList& engineNames,
                                                 const QString& path, QSize size) {
    return saveRankChartPng(trend, title, engineNames, path, size);
}

extern "C" Q_DECL_EXPORT bool mtWriteXlsxTable(const QString& path, const QString& sheet,
                                               const QStringList& header,
                                               const QList<QStringList>& rows) {
    return writeXlsxTable(path, sheet, header, rows);
}
