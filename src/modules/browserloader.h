#pragma once

#include "rank/pageloader.h"

#include <QString>
#include <memory>

class QWidget;

// The result-page browser lives in a module of its own (Chromium's libraries with it), loaded
// on first use: a program that makes no rank query never maps it. Both calls throw AppError
// when the module cannot be loaded.

// A new browser page with its profile in storageDir.
std::unique_ptr<PageLoader> createBrowserPage(const QString& storageDir);

// A view of a page made by createBrowserPage, where a person can work in it.
QWidget* createBrowserView(PageLoader& page, QWidget* parent);
