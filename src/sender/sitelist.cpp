#include "sitelist.h"

#include "apperror.h"

#include <QFile>

TextList LoadSiteFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file %1").arg(path));
    const QByteArray bytes = file.readAll();
    const std::string_view all(bytes.constData(), static_cast<size_t>(bytes.size()));
    TextList sites;
    size_t start = 0;
    while (start < all.size()) {
        size_t brk = all.find_first_of("\r\n", start);
        if (brk == std::string_view::npos)
            brk = all.size();
        sites.emplace_back(all.substr(start, brk - start));
        start = brk + ((all.substr(brk, 2) == "\r\n") ? 2 : 1);
    }
    return sites;
}
