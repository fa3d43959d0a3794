#pragma once

#include "text/text.h"

#include <QString>
#include <mutex>

// Serialises whole line writes of all threads to the program's text files.
std::recursive_mutex& FileLock();

// Writes line + CR LF to the file: appended (the file created if missing), or with rewrite as
// the file's whole new content, which replaces the old atomically, so a failed write leaves the
// old content. Returns false on any failure; never throws.
bool AppendLineToFile(const QString& fileName, std::string_view line, bool rewrite, bool lock);

// A file that lines are appended to during a send run, through one descriptor opened for
// appending on the first line (no line, no file). Each line goes out with CR LF in one write(),
// whole or not at all: a short write (a full disk) is cut back off. Safe to call from any
// thread; lines are written under FileLock.
class AppendLog {
public:
    explicit AppendLog(QString path) : m_path(std::move(path)) {}
    ~AppendLog();
    AppendLog(const AppendLog&) = delete;
    AppendLog& operator=(const AppendLog&) = delete;

    // False when the line could not be written whole; error() then says why.
    bool append(std::string_view line);
    // The first failure, naming the file and the reason; empty while none.
    QString error() const;

private:
    const QString m_path;
    int m_fd = -1;
    QString m_error;
};
