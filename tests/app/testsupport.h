#pragma once

#include "text/text.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// Every text the program reads from or writes to a file is GBK; these literals are the bytes a
// user's file would hold.
inline constexpr char kGbkChinese[] = "\xD6\xD0\xCE\xC4"; // 中文

inline bool writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A control of a window by its object name; a missing one ends the test run loudly.
template <typename T> T* findControl(QWidget* window, const char* name) {
    T* control = window->findChild<T*>(QLatin1String(name));
    if (!control)
        qFatal("no control %s", name);
    return control;
}

inline void click(QWidget* window, const char* button) {
    QTest::mouseClick(findControl<QPushButton>(window, button), Qt::LeftButton);
}

// What a grid shows, row by row, its visible cells joined by "|".
inline QStringList gridRows(QTableView* grid) {
    const QAbstractItemModel* model = grid->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            if (!grid->isColumnHidden(c))
                cells << model->index(r, c).data().toString();
        rows << cells.join('|');
    }
    return rows;
}

// Queued calls from other threads and deferred deletes are delivered before the next check.
inline void drainEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// A modal dialog's exec() blocks the caller, so the steps inside the dialog run from the event
// loop once the dialog is up. A dialog the steps leave open is closed afterwards (and noted),
// so a faulty dialog fails the test instead of hanging it.
class ModalDriver : public QObject {
public:
    explicit ModalDriver(std::function<void(QDialog*)> steps) : m_steps(std::move(steps)) {
        m_poll.setInterval(10);
        connect(&m_poll, &QTimer::timeout, this, &ModalDriver::poll);
        m_poll.start();
    }

    bool ran() const { return m_ran; }
    bool leftOpen() const { return m_leftOpen; }

private:
    void poll() {
        QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        m_poll.stop();
        m_ran = true;
        m_steps(dialog);
        if (dialog && dialog->isVisible()) {
            m_leftOpen = true;
            dialog->done(QDialog::Rejected);
        }
    }

    std::function<void(QDialog*)> m_steps;
    QTimer m_poll;
    bool m_ran = false;
    bool m_leftOpen = false;
};

// Each test class runs from the one main, which owns the application and its error report.
std::unique_ptr<QObject> makeMainFormTest();
std::unique_ptr<QObject> makeDialogsTest();
std::unique_ptr<QObject> makeSendTabTest();
std::unique_ptr<QObject> makeHistoryTest();
std::unique_ptr<QObject> makeHistoryTrendTest();
std::unique_ptr<QObject> makeRankQueryTest();
std::unique_ptr<QObject> makeRankRunTest();
std::unique_ptr<QObject> makeBatchQueryTest();
