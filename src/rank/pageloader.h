#pragma once

#include "text/text.h"

#include <QString>
#include <chrono>
#include <functional>

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

// Loads result pages as a browser would. Every call returns at once and answers through its
// callback on the same thread, later; nothing waits on the caller's thread. A new call
// replaces one under way, whose callback is then never called.
class PageLoader {
public:
    virtual ~PageLoader() = default;
    // Navigates to address; a load that takes longer than limit is stopped.
    virtual void loadPage(const Text& address, std::chrono::milliseconds limit,
                          std::function<void(const LoadedPage&)> done) = 0;
    // The serialized root element of the page loaded last, in GBK; an empty address navigates
    // nowhere.
    virtual void GetBrowserHtml(const Text& address, std::function<void(const Text&)> done) = 0;
    // Runs script in the page loaded last; its value as text, empty when it gives none.
    virtual void runScript(const QString& script, std::function<void(const QString&)> done) = 0;
    // Calls done at the end of the next load, whoever starts it (a person in a view of the
    // page), with no time limit.
    virtual void waitForNavigation(std::function<void(const LoadedPage&)> done) = 0;
    // Drops the callbacks still to come.
    virtual void cancel() = 0;
};
