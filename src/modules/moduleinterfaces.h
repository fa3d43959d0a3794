#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QtPlugin>
#include <memory>

class PageLoader;
class QWidget;
struct RankTrend;

// The interfaces of the program's modules, each under an id that carries its version: a module
// built against another version of an interface is refused with a message when it is loaded
// (moduleloader.h), instead of being called through a layout it does not have. Change an
// interface, change its id.

// libmoting-seo-browser.so (src/browser).
class BrowserModule {
public:
    virtual ~BrowserModule() = default;
    // A new page with its profile in storageDir.
    virtual std::unique_ptr<PageLoader> createPage(const QString& storageDir) = 0;
    // A view of a page made by createPage, where a person can work in it.
    virtual QWidget* createView(PageLoader& page, QWidget* parent) = 0;
};

// libmoting-seo-report.so (src/report). Nothing is thrown across: a failure is the answer.
class ReportModule {
public:
    virtual ~ReportModule() = default;
    virtual QWidget* createRankChartView(const RankTrend& trend, const QString& title,
                                         const QStringList& engineNames, QWidget* parent) = 0;
    virtual bool saveRankChartPng(const RankTrend& trend, const QString& title,
                                  const QStringList& engineNames, const QString& path,
                                  QSize size) = 0;
    virtual bool writeXlsxTable(const QString& path, const QString& sheet,
                                const QStringList& header, const QList<QStringList>& rows) = 0;
};

#define MT_BROWSER_MODULE_IID "org.moting-seo.BrowserModule/1"
#define MT_REPORT_MODULE_IID "org.moting-seo.ReportModule/1"

Q_DECLARE_INTERFACE(BrowserModule, MT_BROWSER_MODULE_IID)
Q_DECLARE_INTERFACE(ReportModule, MT_REPORT_MODULE_IID)
