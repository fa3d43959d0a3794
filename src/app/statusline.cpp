#include "app/statusline.h"

#include "text/codepage.h"

#include <QThread>

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("StatusPanel"));
    setMinimumHeight(20);
}

void StatusLine::SetStatusText(const Text& text) {
    if (QThread::currentThread() != thread()) {
        std::lock_guard lock(StatusLock);
        const bool posted = m_pendingStatus.has_value();
        m_pendingStatus = text;
        if (!posted && !m_statusPolled)
            QMetaObject::invokeMethod(this, &StatusLine::applyPendingStatus, Qt::QueuedConnection);
        return;
    }
    std::lock_guard lock(StatusLock);
    // This text is newer than anything a worker left pending.
    m_pendingStatus.reset();
    setText(gbkToQString(text));
}

void StatusLine::setPolled(bool polled) {
    std::lock_guard lock(StatusLock);
    m_statusPolled = polled;
}

void StatusLine::applyPendingStatus() {
    std::lock_guard lock(StatusLock);
    if (m_pendingStatus) {
        setText(gbkToQString(*m_pendingStatus));
        m_pendingStatus.reset();
    }
}
