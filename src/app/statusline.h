#pragma once

#include "core/statussink.h"

#include <QLabel>
#include <mutex>
#include <optional>

// The status line's text panel. Workers write to it from their threads; their texts reach the
// panel through the UI thread.
class StatusLine : public QLabel, public StatusSink {
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent);

    // Callable from any thread: texts that arrive faster than the window paints are coalesced
    // to the newest.
    void SetStatusText(const Text& text) override;

    // While polled, a worker's text waits for the next applyPendingStatus() instead of waking
    // the UI thread: a send run shows it with its progress, which is cheaper than a wake-up
    // per text.
    void setPolled(bool polled);
    void applyPendingStatus();

private:
    std::recursive_mutex StatusLock;
    // Guarded by StatusLock: the newest worker text the UI has not shown yet.
    std::optional<Text> m_pendingStatus;
    bool m_statusPolled = false;
};
