#include "modules/moduleinterfaces.h"
#include "report/rankchart.h"
#include "report/xlsxtable.h"

#include <QChartView>
#include <QObject>

// The module's object, as reportloader.cpp loads it.
class ReportPlugin : public QObject, public ReportModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MT_REPORT_MODULE_IID)
    Q_INTERFACES(ReportModule)

public:
    QWidget* createRankChartView(const RankTrend& trend, const QString& title,
                                 const QStringList& engineNames, QWidget* parent) override {
        auto* view = new QChartView(makeRankChart(trend, title, engineNames).release(), parent);
        view->setRenderHint(QPainter::Antialiasing);
        return view;
    }

    bool saveRankChartPng(const RankTrend& trend, const QString& title,
                          const QStringList& engineNames, const QString& path,
                          QSize size) override {
        return ::saveRankChartPng(trend, title, engineNames, path, size);
    }

    bool writeXlsxTable(const QString& path, const QString& sheet, const QStringList& header,
                        const QList<QStringList>& rows) override {
        return ::writeXlsxTable(path, sheet, header, rows);
    }
};

#include "reportmodule.moc"
