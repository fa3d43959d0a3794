#pragma once

#include "store/ranktrend.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>

class QChart;

// "排名走势": the trend as a chart, one line per engine (a gap where the site was not found or
// not queried, a dot for a single day), dates along the bottom, rank 1 at the top. A line is
// named by engineNames at its engine's number, or by the number where that is empty.
std::unique_ptr<QChart> makeRankChart(const RankTrend& trend, const QString& title,
                                      const QStringList& engineNames);

// The chart drawn into a PNG file of this size, written whole or not at all; false when the
// file cannot be written. Needs a QApplication.
bool saveRankChartPng(const RankTrend& trend, const QString& title, const QStringList& engineNames,
                      const QString& path, QSize size);
