#include "sender/sitelist.h"

#include "text/apperror.h"
#include "text/atomicfile.h"
#include "text/codepage.h"
#include "text/datafile.h"

#include <QFile>

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
    if (m_firstBadLine > 0)
        throw AppError(QStringLiteral("%1 was not saved: its line %2 is no text (a binary or "
                                      "UTF-16 file?), and what could not be read would be lost; "
                                      "the file was left as it is")
                           .arg(path)
                           .arg(m_firstBadLine));
    Text content = m_utf8 ? Text("\xEF\xBB\xBF") : Text();
    for (const Text& site : entries())
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
    if (role != Qt::DisplayRole || index.parent().isValid())
        return {};
    return gbkToQString(at(index.row()));
}
