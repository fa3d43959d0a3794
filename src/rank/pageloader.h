#pragma once

#include "text.h"

#include <QString>
#include <chrono>

// How a load of a result page went.
struct LoadedPage {
    enum class Status {
        Loaded,   // the document is complete
        Failed,   // no answer, a refused connection, an HTTP error status
        TimedOut, // the load took longer than its limit and was stopped
    };
    Status status = Status::Failed;
    QString error;      // why it failed, for the user
    int httpStatus = 0; // the answer's status when it was an HTTP error, else 0
    QString url;        // where the page ended up, redirects followed
    QString title;
};

// Loads a result page as a browser would and hands over its HTML.
class PageLoader {
public:
    virtual ~PageLoader() = default;
    // Navigates to address (an empty one navigates nowhere), waits for the load while events
    // go on being handled, and returns the serialized root element in GBK.
    virtual Text GetBrowserHtml(const Text& address) = 0;
    // Navigates to address and tells how the load went; a load that takes longer than limit
    // is stopped. The page stays for GetBrowserHtml({}) and runScript().
    virtual LoadedPage loadPage(const Text& address, std::chrono::milliseconds limit) = 0;
    // Runs script in the page loaded last and returns its value as text; empty when the
    // script gives none.
    virtual QString runScript(const QString& script) = 0;
};
