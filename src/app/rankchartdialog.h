#pragma once

#include "store/ranktrend.h"

#include <QDialog>

// "排名走势" for one site and keyword: the chart, and a button that saves it as a picture.
class RankChartDialog : public QDialog {
    Q_OBJECT

public:
    RankChartDialog(const RankTrend& trend, const QString& site, const QString& keyword,
                    const QString& folder, QWidget* parent = nullptr);

    // The chart's view (a QChartView of the report module).
    QWidget* chartView() const { return m_view; }

private:
    void savePng();

    RankTrend m_trend;
    QString m_title;
    QString m_folder;
    QWidget* m_view = nullptr;
};
