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
    // A site with a control character (a line break would make it two) is none.
    static bool holdsControlCharacter(std::string_view site);
    // Trims every entry and drops one trailing "/"; empty entries stay.
    void TidySiteList();

    int size() const;
    // The entry at index, or the empty text past the end.
    Text at(int index) const;
    TextList entries() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    mutable std::mutex m_mutex;
    TextList m_sites;
    // How the file was read: saved back the same way, or not at all.
    bool m_utf8 = false;
    size_t m_firstBadLine = 0;
};
