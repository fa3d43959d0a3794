#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>
#include <stdexcept>

// A mistake in the command line: printed with the usage, exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    QString command;
    QStringList args; // the command's words after the command
    QString dir;      // program folder, ending in "/"
    bool verbose = false;
    QString engine = QStringLiteral("baidu");
    std::optional<int> threads;
    std::optional<int> passes;
    int limit = 100;
    bool csv = false;
    QString xlsx;  // history: the spreadsheet file to write
    QString chart; // history: the PNG file to draw the trend of --site and --keyword into
    QString site;
    QString keyword;
    QString importFile;  // history: the exported CSV to add to the history
    QString db;          // the rank database's address, instead of Setting.ini's
    QString worker;      // batch: work the day's queries as this worker
    bool status = false; // batch: the day's progress of the workers
};

// Set by Ctrl+C; the running command stops as closing the window would stop it.
extern std::atomic<bool> g_interrupted;

int runRank(const Options& options);
int runBatch(const Options& options);
int runSend(const Options& options);
int runHistory(const Options& options);
int runSites(const Options& options);
int runTemplates(const Options& options);
