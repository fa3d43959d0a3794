#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class PageLoader;
class QWidget;
struct RankTrend;

// The modules' entries, declared once: a module's definition that differs from its declaration
// here does not compile, and the loaders look each one up by its own name and type
// (MT_MODULE_ENTRY), so the two sides of the boundary cannot drift apart.
extern "C" {

// libmoting-seo-browser.so (src/browser): a new page with its profile in storageDir, and a view
// of such a page where a person can work in it.
Q_DECL_EXPORT PageLoader* mtCreateBrowserPage(const QString& storageDir);
Q_DECL_EXPORT QWidget* mtCreateBrowserView(PageLoader& page, QWidget* parent);

// libmoting-seo-report.so (src/report). Nothing is thrown across: a failure is the answer.
Q_DECL_EXPORT QWidget* mtCreateRankChartView(const RankTrend& trend, const QString& title,
                                             const QStringList& engineNames, QWidget* parent);
Q_DECL_EXPORT bool mtSaveRankChartPng(const RankTrend& trend, const QString& title,
                                      const QStringList& engineNames, const QString& path,
                                      QSize size);
Q_DECL_EXPORT bool mtWriteXlsxTable(const QString& path, const QString& sheet,
                                    const QStringList& header, const QList<QStringList>& rows);
}
