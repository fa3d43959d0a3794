#pragma once

#include "text.h"

#include <QString>
#include <mutex>

// Serialises whole line writes of all threads to the program's text files.
std::recursive_mutex& FileLock();

// Writes line + CR LF to the file (created, or emptied first when rewrite is set). Returns
// false on any failure; never throws.
bool AppendLineToFile(const QString& fileName, std::string_view line, bool rewrite, bool lock);
