#pragma once

#include <QString>

// The rank database's connection string; path and password go in exactly as passed.
QString MakeAccessConnStr(const QString& path, const QString& password, bool jet);
