#include "report/rankchart.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QGraphicsScene>
#include <QImage>
#include <QImageWriter>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QSaveFile>
#include <QValueAxis>

namespace {

qreal dayValue(QDate day) {
    // Noon, so that a change of daylight-saving time never moves a point across a day.
    return static_cast<qreal>(QDateTime(day, QTime(12, 0)).toMSecsSinceEpoch());
}

// A tick step of 1, 2 or 5 times a power of ten that gives at most about eight rank labels.
int rankStep(int worst) {
    for (int power = 1;; power *= 10)
        for (const int step : {1, 2, 5})
            if (worst / (step * power) <= 8)
                return step * power;
}

QColor engineColor(int engine) {
    static const QColor colors[] = {QColor(0x2b, 0x6c, 0xd6), QColor(0xe0, 0x6c, 0x1b),
                                    QColor(0x2e, 0x9e, 0x4f), QColor(0x9b, 0x3d, 0xc2),
                                    QColor(0xc2, 0x3d, 0x5a), QColor(0x5a, 0x5a, 0x5a)};
    return colors[engine % std::size(colors)];
}

} // namespace

std::unique_ptr<QChart> makeRankChart(const RankTrend& trend, const QString& title,
                                      const QStringList& engineNames) {
    auto chart = std::make_unique<QChart>();
    chart->setTitle(title);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);

    auto* days = new QDateTimeAxis;
    days->setFormat(QStringLiteral("yyyy-MM-dd"));
    days->setTitleText(QStringLiteral("查询日期"));
    const QDate first = trend.first.isValid() ? trend.first : QDate::currentDate();
    const QDate last = trend.last.isValid() ? trend.last : first;
    // Room on both sides, so that the first and the last day's dots are drawn whole, and ticks
    // a whole number of days apart, at most nine of them.
    const qint64 span = first.daysTo(last);
    const qint64 pad = std::max<qint64>(1, span / 10);
    qint64 dayStep = 1;
    for (const qint64 wider : {2, 3, 7, 14, 30, 61, 91, 183, 365})
        if ((span + 2 * pad + dayStep - 1) / dayStep > 8)
            dayStep = wider;
    const qint64 ticks = (span + 2 * pad + dayStep - 1) / dayStep;
    const QDate from = first.addDays(-pad);
    const QDate to = from.addDays(ticks * dayStep);
    days->setRange(QDateTime(from, QTime(12, 0)), QDateTime(to, QTime(12, 0)));
    days->setTickCount(static_cast<int>(ticks + 1));
    chart->addAxis(days, Qt::AlignBottom);

    auto* ranks = new QValueAxis;
    ranks->setTitleText(QStringLiteral("排名"));
    const int worst = std::max(trend.worst, 10);
    const int step = rankStep(worst);
    const int top = (worst + step - 1) / step * step;
    // Half a rank of room above 1 and below the last, for the same reason.
    ranks->setRange(0.5, top + 0.5);
    ranks->setReverse(true);
    ranks->setTickType(QValueAxis::TicksDynamic);
    ranks->setTickAnchor(0);
    ranks->setTickInterval(step);
    ranks->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(ranks, Qt::AlignLeft);

    for (const RankTrend::Line& line : trend.lines) {
        const QString name = engineNames.value(line.engine);
        const QColor color = engineColor(line.engine);
        // Each run is a series of its own; the legend names the engine once.
        const size_t seriesCount = std::max<size_t>(line.runs.size(), 1);
        for (size_t i = 0; i < seriesCount; ++i) {
            auto* series = new QLineSeries;
            series->setName(name.isEmpty() ? QString::number(line.engine) : name);
            series->setPen(QPen(color, 2));
            series->setPointsVisible(true);
            series->setMarkerSize(7);
            if (i < line.runs.size())
                for (const RankTrend::Point& point : line.runs[i])
                    series->append(dayValue(point.day), point.rank);
            chart->addSeries(series);
            series->attachAxis(days);
            series->attachAxis(ranks);
            if (i > 0)
                for (QLegendMarker* marker : chart->legend()->markers(series))
                    marker->setVisible(false);
        }
    }
    return chart;
}

bool saveRankChartPng(const RankTrend& trend, const QString& title, const QStringList& engineNames,
                      const QString& path, QSize size) {
    std::unique_ptr<QChart> chart = makeRankChart(trend, title, engineNames);
    QGraphicsScene scene;
    chart->resize(size);
    scene.addItem(chart.get());
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    }
    scene.removeItem(chart.get());
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    return file.open(QIODevice::WriteOnly) && writer.write(image) && file.commit();
}
