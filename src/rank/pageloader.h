#pragma once

#include "text.h"

// Loads a result page as a browser would and hands over its HTML.
class PageLoader {
public:
    virtual ~PageLoader() = default;
    // Navigates to address (an empty one navigates nowhere), waits for the load while events
    // go on being handled, and returns the serialized root element in GBK.
    virtual Text GetBrowserHtml(const Text& address) = 0;
};
