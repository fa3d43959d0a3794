#pragma once

#include "store/rankquery.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <vector>

class IniFile;
struct DatabaseAddress;

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

// Set by Ctrl+C (SIGINT) or SIGTERM; the running command stops as closing the window would stop
// it, a rank query at once. g_interruptSignal is the signal, for the exit code 128 + signal.
extern std::atomic<bool> g_interrupted;
extern std::atomic<int> g_interruptSignal;

// The commands, one file each. Each returns its exit code; a command that watches
// g_interrupted is ended with 130 (143 for SIGTERM) by the caller (commandline.cpp) when it was
// interrupted.
int runRank(const Options& options);
int runBatch(const Options& options);
int runSend(const Options& options);
int runHistory(const Options& options);
int runSites(const Options& options);
int runTemplates(const Options& options);

// What the commands share (commands.cpp).
// The program folder's settings file.
IniFile settingsFile(const Options& o);
// Where the rank database is: --db, else Setting.ini's, else "Sort.mdb".
DatabaseAddress databaseAddress(const Options& o);
// The engines of the program folder's settings become the ones names are taken from.
void loadEngines(const Options& o);
// The engine's number, or -1 for all of them.
int engineIndex(const QString& name);
// The exit code after one more outcome: failed outranks blocked, as a dead engine or a changed
// layout needs a person sooner.
int exitCode(Outcome outcome, int code);
// Prints the line of an outcome (none for a stopped query) and counts it into code.
void printOutcome(const RankOutcome& outcome, int& code);
// Runs rank queries in the browser of the program folder, printing a line for each as it ends.
int runQueries(const Options& o, std::vector<RankQuery> queries);
