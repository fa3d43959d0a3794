// One start of the program's window: time from process start to the main window painted, and
// the resident memory then. startup_bench runs it against a bare window.
#include "application.h"
#include "mainform.h"
#include "messagebox.h"
#include "resident.h"
#include "startuptime.h"

#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[]) {
    Application::prepare();
    Application app(argc, argv);
    MessageBox::setTestMode(true); // a missing Url.txt must not wait for a click
    TMainForm form(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    form.show();
    QTimer::singleShot(0, &form, [&] {
        form.repaint();
        std::printf("%.1f %ld\n", msSinceProcessStart(), residentKiB());
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
