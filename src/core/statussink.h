#pragma once

#include "text/text.h"

// Where the logic reports progress for the status line. Callable from any thread; an
// implementation never makes the caller wait for the UI thread.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void SetStatusText(const Text& text) = 0;
};
