#include "app/mainform.h"
#include "app/messagebox.h"
#include "app/rankchartdialog.h"
#include "historysupport.h"
#include "store/rankdb.h"
#include "testsupport.h"
#include "windowparts.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QValueAxis>

namespace {

const QDate kDay(2024, 3, 9);

struct Stored {
    int day; // after kDay
    Text site;
    int engine;
    int rank;
};

// a.com over six days on three engines, with days not found and not queried; b.com once.
const Stored kStores[] = {
    {0, "a.com", 0, 5}, {1, "a.com", 0, 3},  {2, "a.com", 0, 0}, {3, "a.com", 0, 8},
    {4, "a.com", 0, 6}, {0, "a.com", 1, 12}, {2, "a.com", 1, 9}, {3, "a.com", 1, 7},
    {5, "a.com", 2, 0}, {1, "b.com", 0, 1},  {5, "a.com", 0, 4},
};

void storeKnownRows(TMainForm& form) {
    QDate day;
    rankTab(form).dataQuery().setToday([&day] { return day; });
    for (const Stored& s : kStores) {
        day = kDay.addDays(s.day);
        rankTab(form).StoreRank(s.site, "seo", s.engine, s.rank);
    }
    rankTab(form).dataQuery().setToday([] { return QDate::currentDate(); });
}

QTableView* gridOf(TMainForm& form) {
    return historyGrid(form);
}

// The grid row showing this site on this day.
int rowOf(TMainForm& form, const QString& site, QDate day) {
    const QAbstractItemModel* model = gridOf(form)->model();
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, 1).data().toString() == site &&
            model->index(r, 6).data().toString() == day.toString(Qt::ISODate))
            return r;
    return -1;
}

// Each line of the chart as "engine: day=rank day=rank", days as offsets from kDay; a line
// that the legend leaves out (a further run of the same engine) is marked "+".
QStringList chartLines(QChart* chart) {
    QStringList lines;
    for (QAbstractSeries* series : chart->series()) {
        auto* line = qobject_cast<QLineSeries*>(series);
        if (!line)
            continue;
        const bool named = chart->legend()->markers(line).value(0)->isVisible();
        QStringList points;
        for (const QPointF& p : line->points())
            points << QStringLiteral("%1=%2")
                          .arg(kDay.daysTo(QDateTime::fromMSecsSinceEpoch(qint64(p.x())).date()))
                          .arg(p.y());
        lines << (named ? QString() : QStringLiteral("+")) + line->name() + ": " + points.join(' ');
    }
    return lines;
}

// The chart the dialog shows, drawn by the report module.
QChart* chartOf(RankChartDialog* dialog) {
    auto* view = qobject_cast<QChartView*>(dialog->chartView());
    return view ? view->chart() : nullptr;
}

RankChartDialog* openChart(TMainForm& form) {
    RankChartDialog* dialog = nullptr;
    for (RankChartDialog* d : form.findChildren<RankChartDialog*>())
        if (d->isVisible())
            dialog = d;
    return dialog;
}

} // namespace

class HistoryTrendTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        MessageBox::setTestMode(true);
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(writeFileBytes(m_dir->filePath("Url.txt"), {}));
    }
    void cleanup() {
        QCOMPARE(MessageBox::takeShown().size(), 0);
        MessageBox::setTestMode(true);
    }

    // A double-click on a row opens "排名走势" of its site and keyword: one line per engine over
    // the days, broken where the site was not found or not queried, rank 1 at the top. The
    // context menu opens it too, for the row selected; the picture saves as PNG.
    void chartOfTheSelectedRow() {
        TMainForm form(m_dir->path());
        storeKnownRows(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);

        QTableView* grid = gridOf(form);
        const int row = rowOf(form, "a.com", kDay.addDays(3));
        QVERIFY(row >= 0);
        const QPoint at = grid->visualRect(grid->model()->index(row, 1)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        RankChartDialog* dialog = openChart(form);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("排名走势"));
        QChart* chart = chartOf(dialog);
        QVERIFY(chart);
        QCOMPARE(chart->title(), QStringLiteral("排名走势：a.com — seo"));
        QCOMPARE(chartLines(chart),
                 (QStringList{
                     "百度: 0=5 1=3", "+百度: 3=8 4=6 5=4", "搜狗: 0=12", "+搜狗: 2=9 3=7",
                     "好搜: ", // stored, never found
                 }));
        auto* ranks = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
        QVERIFY(ranks && ranks->isReverse());
        QVERIFY(ranks->min() < 1 && ranks->max() >= 12);

        const QString png = m_dir->filePath("trend.png");
        MessageBox::setNextFileName(png);
        click(dialog, "SaveChartButton");
        const QImage image(png);
        QCOMPARE(image.size(), QSize(900, 500));
        QVERIFY(!QFile::exists(png + ".part"));
        dialog->close();
        drainEvents();
        QVERIFY(!openChart(form));

        // From the context menu, for b.com's one day.
        grid->setCurrentIndex(grid->model()->index(rowOf(form, "b.com", kDay.addDays(1)), 1));
        findControl<QAction>(&form, "RankChartMenu")->trigger();
        dialog = openChart(form);
        QVERIFY(dialog);
        QCOMPARE(chartLines(chartOf(dialog)), QStringList{"百度: 1=1"});
        dialog->close();
    }

    // Exported rows go back into another history as they were; rows already there are kept
    // once; a malformed file adds nothing and says where it is wrong.
    void csvImportRoundTrips() {
        const QString csv = m_dir->filePath("history.csv");
        QStringList exported;
        {
            TMainForm form(m_dir->path());
            storeKnownRows(form);
            rankTab(form).StoreRank("e.com", "k,\"5\"", 2, 2,
                                    QStringLiteral("https://e.com/a?b=1,2"));
            rankTab(form).StoreRank(std::string(kGbkChinese) + ".com", kGbkChinese, 1, 0);
            showRankTab(form);
            exported = gridRows(gridOf(form));
            MessageBox::setNextFileName(csv);
            findControl<QAction>(&form, "ExportCsvMenu")->trigger();
        }
        QTemporaryDir other;
        QVERIFY(writeFileBytes(other.filePath("Url.txt"), {}));
        TMainForm form(other.path());
        showRankTab(form);
        const struct {
            QString file;
            QString said;
            QStringList rows;
        } steps[] = {
            {csv, "已导入 13 条记录；0 条已在历史中，保持不变。", exported},
            {csv, "已导入 0 条记录；13 条已在历史中，保持不变。", exported},
        };
        for (const auto& step : steps) {
            MessageBox::setNextFileName(step.file);
            findControl<QAction>(&form, "ImportCsvMenu")->trigger();
            const QList<MessageBox::Shown> shown = MessageBox::takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].text, step.said);
            QCOMPARE(gridRows(gridOf(form)), step.rows);
        }
        // The destination that ranked, which the grid shows only as a tooltip, comes along.
        QCOMPARE(rankTab(form).dataQuery().historyRows(100).at(1).url,
                 QStringLiteral("https://e.com/a?b=1,2"));

        // One bad row in the middle: nothing of the file goes in.
        QByteArray bad = readFileBytes(csv);
        const QByteArray good = bad;
        bad.replace(",百度,5,", ",百度,five,");
        QVERIFY(bad != good);
        QVERIFY(writeFileBytes(m_dir->filePath("bad.csv"), bad));
        QTemporaryDir third;
        QVERIFY(writeFileBytes(third.filePath("Url.txt"), {}));
        TMainForm empty(third.path());
        showRankTab(empty);
        MessageBox::setNextFileName(m_dir->filePath("bad.csv"));
        findControl<QAction>(&empty, "ImportCsvMenu")->trigger();
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].kind == MessageBox::Kind::Error);
        QVERIFY2(shown[0].text.contains("the rank \"five\" is neither 未找到 nor a whole number"),
                 qPrintable(shown[0].text));
        QCOMPARE(gridRows(gridOf(empty)), QStringList());
    }

    // For the documentation: set MT_SCREENSHOT_DIR to a folder to get the pictures.
    void screenshotsOfTheHistory() {
        const QString out = qEnvironmentVariable("MT_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("MT_SCREENSHOT_DIR is not set");
        TMainForm form(m_dir->path());
        QDate day;
        rankTab(form).dataQuery().setToday([&day] { return day; });
        const char* const keywords[] = {"seo \xD3\xC5\xBB\xAF", "\xB9\xD8\xBC\xFC\xB4\xCA"};
        for (int d = 0; d < 14; ++d) {
            day = kDay.addDays(d);
            for (int engine = 0; engine < 3; ++engine)
                for (const char* keyword : keywords) {
                    const int rank = (d * 7 + engine * 11 + int(std::strlen(keyword))) % 23;
                    if (engine != 2 || d % 5 != 3)
                        rankTab(form).StoreRank("example.com", keyword, engine,
                                                rank > 19 ? 0 : rank + 1);
                }
        }
        form.show();
        form.resize(1100, 760);
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        showRankTab(form);
        findControl<QLineEdit>(&form, "HistoryFilter")->setText(QStringLiteral("百度"));
        gridOf(form)->sortByColumn(4, Qt::AscendingOrder);
        drainEvents();
        QVERIFY(form.grab().save(out + "/history.png"));
        gridOf(form)->setCurrentIndex(gridOf(form)->model()->index(0, 1));
        findControl<QAction>(&form, "RankChartMenu")->trigger();
        RankChartDialog* dialog = openChart(form);
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        drainEvents();
        QVERIFY(dialog->grab().save(out + "/chart.png"));
        dialog->close();
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

std::unique_ptr<QObject> makeHistoryTrendTest() {
    return std::make_unique<HistoryTrendTest>();
}

#include "historytrend_test.moc"
