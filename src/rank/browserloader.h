#pragma once

#include "pageloader.h"

#include <QString>
#include <memory>

// The result-page browser lives in a module of its own (Chromium's libraries with it), loaded
// on first use: a program that makes no rank query never maps it. Both calls throw AppError
// when the module cannot be loaded.

// A new browser page with its profile in storageDir.
std::unique_ptr<PageLoader> createBrowserPage(const QString& storageDir);

// One of the module's entries by name, loading the module if need be.
void* browserModuleEntry(const char* name);
