#pragma once

#include <QString>

// The file version stamped into an executable of this program ("1.0.0.0"), or an empty string
// for a missing file or one that carries no version.
QString GetFileVersionText(const QString& fileName);
