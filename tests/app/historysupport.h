#pragma once

#include "testsupport.h"

#include <QTabBar>
#include <QTabWidget>
#include <QTableView>

// The rank tab's history grid.
inline QTableView* historyGrid(QWidget& form) {
    return findControl<QTableView>(&form, "SortDBGrid");
}

// Brings up the rank tab as a click on its tab does, which shows the history afresh.
inline void showRankTab(QWidget& form) {
    auto* pages = findControl<QTabWidget>(&form, "SEOPageControl");
    const int tab = pages->indexOf(findControl<QWidget>(&form, "QuerySortTabSheet"));
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(tab).center());
}
