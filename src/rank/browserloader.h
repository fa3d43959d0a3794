#pragma once

#include "pageloader.h"

#include <QString>
#include <memory>

// The result-page browser, from the module beside the executable, loaded on first use.
// Throws AppError when the module cannot be loaded.
std::unique_ptr<PageLoader> CreateBrowserPage(const QString& storageDir);
