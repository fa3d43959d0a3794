#pragma once

#include <QFile>
#include <QList>
#include <ctime>
#include <unistd.h>

// Milliseconds since this process was started, by the kernel's own account of its start (so
// the dynamic loader's work counts too).
inline double msSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Field 22 (starttime), counted after the command name in parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double started = fields.value(19).toDouble() / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    const double now = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    return (now - started) * 1000.0;
}
