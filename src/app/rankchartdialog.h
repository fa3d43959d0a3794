#pragma once

#include "ranktrend.h"

#include <QDialog>

class QChartView;

// "排名走势" for one site and keyword: the chart, and a button that saves it as a picture.
class RankChartDialog : public QDialog {
    Q_OBJECT

public:
    RankChartDialog(const RankTrend& trend, const QString& site, const QString& keyword,
                    const QString& folder, QWidget* parent = nullptr);

    QChartView* chartView() const { return m_view; }

private:
    void savePng();

    RankTrend m_trend;
    QString m_title;
    QString m_folder;
    QChartView* m_view = nullptr;
};
