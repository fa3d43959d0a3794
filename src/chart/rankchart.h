#pragma once

#include "engines.h"
#include "ranktrend.h"

#include <QSize>
#include <QString>
#include <memory>

class QChart;

// "排名走势": the trend as a chart, one line per engine (a gap where the site was not found or
// not queried, a dot for a single day), dates along the bottom, rank 1 at the top.
std::unique_ptr<QChart> makeRankChart(const RankTrend& trend, const QString& title,
                                      const EngineProfiles& profiles = currentEngineProfiles());

// The chart drawn into a PNG file of this size, written whole or not at all; throws AppError
// when the file cannot be written. Needs a QApplication.
void saveRankChartPng(const RankTrend& trend, const QString& title, const QString& path,
                      QSize size = {900, 500},
                      const EngineProfiles& profiles = currentEngineProfiles());

// The chart's title: the site and the keyword.
QString rankChartTitle(const QString& site, const QString& keyword);
