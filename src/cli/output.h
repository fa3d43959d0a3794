#pragma once

#include "core/statussink.h"
#include "text/csvtext.h"

#include <QString>
#include <QStringList>
#include <mutex>

// Standard output and error in UTF-8, whatever the locale.
void printOut(const QString& line);
void printErr(const QString& line);

// While one exists, what the commands print is kept here instead of written, so that tests
// run them in-process and read it. One at a time, on the thread that runs the command (the
// send workers' status texts reach it only with --verbose).
class CapturedOutput {
public:
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    QString out() const;
    QString err() const;

private:
    friend void printOut(const QString& line);
    friend void printErr(const QString& line);
    mutable std::mutex m_mutex;
    QString m_out;
    QString m_err;
};

// Status texts on standard error, when asked for; workers call it from their threads.
class ConsoleStatus : public StatusSink {
public:
    explicit ConsoleStatus(bool verbose) : m_verbose(verbose) {}
    void SetStatusText(const Text& text) override;

private:
    bool m_verbose;
    std::mutex m_mutex;
};

// Rows as a table whose columns line up on a terminal (CJK characters count two wide).
QString alignedTable(const QStringList& header, const QList<QStringList>& rows);
