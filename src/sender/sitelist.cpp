#include "sender/sitelist.h"

#include "text/apperror.h"
#include "text/atomicfile.h"
#include "text/codepage.h"
#include "text/datafile.h"

#include <QFile>
#include <algorithm>
#include <functional>

void SiteList::load(const QString& path) {
    QFile file(path);
    // A first start has no list yet: it is empty until the first site is added.
    if (!file.exists()) {
        beginResetModel();
        {
            std::lock_guard lock(m_mutex);
            m_sites.clear();
        }
        m_utf8 = false;
        m_firstBadLine = 0;
        endResetModel();
        return;
    }
    FileLines read = readFileLines(readDataFile(path));
    beginResetModel();
    {
        std::lock_guard lock(m_mutex);
        m_sites = std::move(read.lines);
    }
    m_utf8 = read.utf8;
    m_firstBadLine = read.firstBadLine;
    endResetModel();
}

bool SiteList::holdsControlCharacter(std::string_view site) {
    for (const char c : site)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

void SiteList::save(const QString& path) const {
    write(path, entries());
}

void SiteList::write(const QString& path, const TextList& sites) const {
    if (m_firstBadLine > 0)
        throw AppError(QStringLiteral("%1 was not saved: its line %2 is no text (a binary or "
                                      "UTF-16 file?), and what could not be read would be lost; "
                                      "the file was left as it is")
                           .arg(path)
                           .arg(m_firstBadLine));
    Text content = m_utf8 ? Text("\xEF\xBB\xBF") : Text();
    for (const Text& site : sites)
        content.append(m_utf8 ? gbkToUtf8(site) : site).append("\r\n");
    if (!replaceFileAtomically(path, content))
        throw AppError(QStringLiteral("Cannot create file %1").arg(path));
}

void SiteList::append(const Text& site) {
    const int row = size();
    beginInsertRows({}, row, row);
    {
        std::lock_guard lock(m_mutex);
        m_sites.push_back(site);
    }
    endInsertRows();
}

void SiteList::appendSaved(const QString& path, const TextList& sites) {
    if (sites.empty())
        return;
    TextList all = entries();
    all.insert(all.end(), sites.begin(), sites.end());
    write(path, all);
    const int row = size();
    beginInsertRows({}, row, row + static_cast<int>(sites.size()) - 1);
    {
        std::lock_guard lock(m_mutex);
        m_sites = std::move(all);
    }
    endInsertRows();
}

void SiteList::removeSaved(const QString& path, std::vector<int> rows) {
    const int count = size();
    // From the last row back, so that the rows still to go keep their numbers.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [count](int row) { return row < 0 || row >= count; }),
               rows.end());
    if (rows.empty())
        return;
    TextList kept = entries();
    for (const int row : rows)
        kept.erase(kept.begin() + row);
    write(path, kept);
    for (const int row : rows) {
        beginRemoveRows({}, row, row);
        {
            std::lock_guard lock(m_mutex);
            m_sites.erase(m_sites.begin() + row);
        }
        endRemoveRows();
    }
}

void SiteList::replaceSaved(const QString& path, int row, const Text& site) {
    if (row < 0 || row >= size())
        return;
    TextList all = entries();
    all[static_cast<size_t>(row)] = site;
    write(path, all);
    {
        std::lock_guard lock(m_mutex);
        m_sites[static_cast<size_t>(row)] = site;
    }
    emit dataChanged(index(row), index(row), {Qt::DisplayRole, Qt::EditRole});
}

Text SiteList::siteKey(std::string_view site) {
    Text key = trimText(site);
    if (!key.empty() && key.back() == '/')
        key.pop_back();
    // A "://" further on belongs to the path (a query that names another address).
    const size_t scheme = key.find("://");
    const size_t hostStart = scheme != Text::npos && key.find('/') == scheme + 1 ? scheme + 3 : 0;
    const size_t hostEnd = std::min(key.find('/', hostStart), key.size());
    for (size_t i = 0; i < hostEnd; ++i)
        key[i] = lowerByte(key[i]);
    return key;
}

int SiteList::findSite(std::string_view site, int except) const {
    const Text key = siteKey(site);
    std::lock_guard lock(m_mutex);
    for (size_t row = 0; row < m_sites.size(); ++row)
        if (static_cast<int>(row) != except && siteKey(m_sites[row]) == key)
            return static_cast<int>(row);
    return -1;
}

void SiteList::TidySiteList() {
    {
        std::lock_guard lock(m_mutex);
        for (Text& site : m_sites) {
            site = trimText(site);
            if (!site.empty() && site.back() == '/')
                site.pop_back();
        }
    }
    if (const int n = size(); n > 0)
        emit dataChanged(index(0), index(n - 1), {Qt::DisplayRole});
}

int SiteList::size() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_sites.size());
}

Text SiteList::at(int index) const {
    std::lock_guard lock(m_mutex);
    return index >= 0 && index < static_cast<int>(m_sites.size())
               ? m_sites[static_cast<size_t>(index)]
               : Text();
}

TextList SiteList::entries() const {
    std::lock_guard lock(m_mutex);
    return m_sites;
}

int SiteList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : size();
}

QVariant SiteList::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || index.parent().isValid())
        return {};
    return gbkToQString(at(index.row()));
}

Qt::ItemFlags SiteList::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsEditable : flags;
}
