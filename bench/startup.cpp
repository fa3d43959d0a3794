// Time from process start to the main window painted, and the resident memory then.
// Run: QT_QPA_PLATFORM=offscreen build/release/bench/startup_bench [program-folder]
#include "application.h"
#include "mainform.h"
#include "messagebox.h"
#include "resident.h"

#include <QFile>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// Seconds since boot at which this process started.
double processStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Field 22 (starttime), counted after the command name in parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.value(19).toDouble() / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double now() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    Application::prepare();
    Application app(argc, argv);
    MessageBox::setTestMode(true); // a missing Url.txt must not wait for a click
    TMainForm form(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    form.show();
    QTimer::singleShot(0, &form, [&] {
        form.repaint();
        std::printf("start-up: %.0f ms to the painted window, %ld KiB resident\n",
                    (now() - processStart()) * 1000.0, residentKiB());
        app.quit();
    });
    return app.exec();
}
