#include "text/atomicfile.h"

#include <QSaveFile>

bool replaceFileAtomically(const QString& path, std::string_view bytes) {
    QSaveFile file(path);
    const auto size = static_cast<qint64>(bytes.size());
    // QSaveFile buffers small writes and commit() does not report a failed final flush, so
    // flush here while a failure can still be seen.
    return file.open(QIODevice::WriteOnly) && file.write(bytes.data(), size) == size &&
           file.flush() && file.commit();
}
