#pragma once

#include "app/historypanel.h"
#include "app/ranktab.h"
#include "app/sendtab.h"
#include "app/statusline.h"
#include "testsupport.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>

// The parts of the main window, found as a user finds its controls: by their object names.
inline SendTab& sendTab(QWidget& form) {
    return *findControl<SendTab>(&form, "SendTabSheet");
}
inline RankTab& rankTab(QWidget& form) {
    return *findControl<RankTab>(&form, "QuerySortTabSheet");
}
inline HistoryPanel& historyPanel(QWidget& form) {
    return *findControl<HistoryPanel>(&form, "SortGrid");
}
inline StatusLine& statusLine(QWidget& form) {
    return *findControl<StatusLine>(&form, "StatusPanel");
}

// What the status line shows.
inline QString statusText(QWidget& form) {
    return statusLine(form).text();
}
// The send run's progress bar and the rank run's clock in the status bar.
inline QString sendProgressText(QWidget& form) {
    return findControl<QProgressBar>(&form, "ProgressPanel")->text();
}
inline QString rankProgressText(QWidget& form) {
    return findControl<QLabel>(&form, "RankProgressPanel")->text();
}

// A menu item, triggered as choosing it in the menu does.
inline void triggerMenu(QWidget& form, const char* action) {
    QAction* item = form.findChild<QAction*>(QLatin1String(action));
    if (!item)
        qFatal("no menu item %s", action);
    item->trigger();
}
