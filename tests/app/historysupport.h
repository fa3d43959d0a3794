#pragma once

#include "testsupport.h"

#include <QTabBar>
#include <QTabWidget>
#include <QTableView>

// The rank tab's history grid.
inline QTableView* HistoryGrid(QWidget& form) {
    return Control<QTableView>(&form, "SortDBGrid");
}

// Brings up the rank tab as a click on its tab does, which shows the history afresh.
inline void ShowRankTab(QWidget& form) {
    auto* pages = Control<QTabWidget>(&form, "SEOPageControl");
    const int tab = pages->indexOf(Control<QWidget>(&form, "QuerySortTabSheet"));
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(tab).center());
}
