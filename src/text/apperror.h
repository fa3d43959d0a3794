#pragma once

#include <QString>
#include <stdexcept>

// An error with the message the user sees ("Cannot open file <path>"); the application's error
// report shows it with a full stop added.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};
