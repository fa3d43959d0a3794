#pragma once

#include "text/text.h"

#include <QAbstractListModel>
#include <mutex>

// The user's sites, as the list box shows them and "Url.txt" keeps them. Changed on the UI
// thread only; read by send workers at any time, so every access takes the list's own lock.
class SiteList : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    // "Url.txt": one site per line in GBK (UTF-8 after a byte-order mark). CR, LF and CR LF all
    // end a line; a break at the very end adds no entry; blank lines are empty entries. Throws
    // AppError "Cannot open file <path>" and leaves the list as it was.
    void load(const QString& path);
    // Every entry followed by CR LF, in the encoding the file was read in; the file is replaced
    // whole and atomically. A file whose lines were not all text (binary, UTF-16) is never
    // rewritten: what could not be read would be lost. Throws AppError, and leaves the file as
    // it was, then and when it cannot be written.
    void save(const QString& path) const;

    void append(const Text& site);
    // The user's edits. Each saves the list as it will be first and changes it only once the
    // file is written, so that a failed save (AppError) leaves the list as the file has it.
    void appendSaved(const QString& path, const TextList& sites);
    void removeSaved(const QString& path, std::vector<int> rows);
    void replaceSaved(const QString& path, int row, const Text& site);

    // A site with a control character (a line break would make it two) is none.
    static bool holdsControlCharacter(std::string_view site);
    // The form in which two entries are the same site: trimmed, one trailing "/" dropped (as
    // before a run), the scheme and host in lower case; a path keeps its case, as servers do.
    static Text siteKey(std::string_view site);
    // The row of the first entry that is the same site, leaving out row except; -1 for none.
    int findSite(std::string_view site, int except = -1) const;
    // Trims every entry and drops one trailing "/"; empty entries stay.
    void TidySiteList();

    int size() const;
    // The entry at index, or the empty text past the end.
    Text at(int index) const;
    TextList entries() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Editable in place; the window's editor saves through replaceSaved.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void write(const QString& path, const TextList& sites) const;

    mutable std::mutex m_mutex;
    TextList m_sites;
    // How the file was read: saved back the same way, or not at all.
    bool m_utf8 = false;
    size_t m_firstBadLine = 0;
};
