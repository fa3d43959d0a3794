#pragma once

#include <QString>
#include <string_view>

// Replaces the file with bytes: written to a temporary file beside it, then renamed over it,
// so a crash or a full disk never leaves half a file. False when anything was refused; the
// old file is then as it was.
bool replaceFileAtomically(const QString& path, std::string_view bytes);
