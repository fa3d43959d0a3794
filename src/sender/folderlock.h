#pragma once

#include <QString>
#include <memory>

// The lock a send run holds on its program folder, so that a second run there (another window,
// the command line) is refused instead of deleting the first one's log.
class FolderLock {
public:
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // Throws AppError, saying another send run is under way there when it is.
    static std::unique_ptr<FolderLock> take(const QString& folder);

private:
    FolderLock() = default;
    int m_fd = -1;
};
