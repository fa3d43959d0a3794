#pragma once

#include <QStringList>

// The command line's words after the program's name, run as the command they name: its exit
// code, its output printed (or captured, see CapturedOutput). Usage errors give 2, errors 1, a
// command that Ctrl+C stopped 130. Needs the application object; main() makes it.
int runCommandLine(const QStringList& words);
