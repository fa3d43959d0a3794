#pragma once

#include "rank/engines.h"
#include "store/ranktrend.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// The rank chart and the spreadsheets come from a module of their own (Qt Charts and
// libxlsxwriter with it), loaded on first use: a start that draws no chart and writes no
// spreadsheet never maps them. The calls throw AppError when the module cannot be loaded.

class QWidget;

// A view of the trend's chart ("排名走势", named by rankChartTitle), for a dialog.
QWidget* createRankChartView(const RankTrend& trend, const QString& title, QWidget* parent);

// The chart's title: the site and the keyword.
QString rankChartTitle(const QString& site, const QString& keyword);

// The name of each engine of the trend, at its number, as the chart's lines are named.
QStringList rankChartEngineNames(const RankTrend& trend,
                                 const EngineProfiles& profiles = currentEngineProfiles());

// "排名走势" drawn into a PNG file of this size, written whole or not at all; throws AppError
// "Cannot create file <path>" when it cannot be written. Needs a QApplication.
void saveRankChartPng(const RankTrend& trend, const QString& title, const QString& path,
                      QSize size = {900, 500});

// A table as a spreadsheet file (XLSX): the header in the first row, then the rows; a cell
// that is a whole number is written as a number. The file is replaced whole. Throws AppError
// "Cannot create file <path>" when it cannot be written.
void writeXlsxTable(const QString& path, const QString& sheet, const QStringList& header,
                    const QList<QStringList>& rows);
