#pragma once

#include "cli/commands.h"

#include <QString>
#include <QStringList>

// The command line read by one QCommandLineParser per command: each command takes its own
// options and those of every command (--dir, --verbose, --help); anything else is a usage
// error. "help" as the command means: print the usage of options.args' first word, or of all.
Options parseArguments(const QStringList& words);

// The first of the program's arguments (after its name) that is not UTF-8, as the error that
// refuses it: read anyway, its bytes would become U+FFFD and a site or keyword would be stored
// changed. Empty when all of them are UTF-8.
QString nonUtf8ArgumentError(int argc, const char* const argv[]);

// Whether --verbose (or -v) stands among the words, before any "--"; read before the
// application exists, when nothing else of the command line may be.
bool hasVerboseOption(const QStringList& words);

// The usage of one command (its own options first), or of every command for an empty or
// unknown name.
QString usageText(const QString& command = {});
