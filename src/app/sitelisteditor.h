#pragma once

#include "text/text.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

class QAction;
class QLineEdit;
class QListView;
class SiteList;
class StatusSink;

// The site list's edits on the tab "外链群发": adding from the field (one site or many lines),
// pasting, deleting and editing in place. Every edit saves "Url.txt" at once; a failed save is
// an error and leaves the list as the file has it. A duplicate or an unusable line is refused
// with a word on the status line. While a send run is under way only adding is allowed: the
// workers take sites by their place in the list.
class SiteListEditor : public QObject {
    Q_OBJECT

public:
    // The view shows sites; path is "Url.txt".
    SiteListEditor(SiteList& sites, QString path, QListView& view, QLineEdit& field,
                   StatusSink& status, QObject* parent = nullptr);

    // What the field holds: one site, or many lines of them (a paste). The field empties once
    // its text is in the list.
    void addFromField();
    // The clipboard's lines, each a site.
    void pasteSites();
    // The selected sites.
    void deleteSites();
    // Opens the editor on the current site.
    void editSite();
    void setRunning(bool running);

private:
    // Adds every line that is a new site; says how many were added and skipped.
    void addLines(const QString& text);
    void commitEdit(const QPersistentModelIndex& index, const QString& typed);
    void updateActions();
    void say(const QString& text);
    QAction* addAction(const QString& text, const char* name, void (SiteListEditor::*handler)());

    SiteList& m_sites;
    const QString m_path;
    QListView& m_view;
    QLineEdit& m_field;
    StatusSink& m_status;
    QAction* m_edit = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_paste = nullptr;
    bool m_running = false;
};
