#pragma once

#include "text.h"

#include <QString>

// "Url.txt": one site per line in GBK. CR, LF and CR LF all end a line; a break at the very end
// adds no entry; blank lines are empty entries. Throws AppError "Cannot open file <path>".
TextList LoadSiteFile(const QString& path);
