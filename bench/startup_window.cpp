// One start of the program's window: prints the clock when the main window is painted
// (startup_bench counts from the moment it started it) and the resident memory then.
#include "app/application.h"
#include "app/mainform.h"
#include "app/messagebox.h"
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
        std::printf("%lld %ld\n", monotonicNs(), residentKiB());
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
