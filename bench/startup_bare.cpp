// The baseline of startup_bench: a bare Qt Widgets window of the main window's designed size,
// shown and painted, in a program that links nothing but Qt Widgets. With --label it holds one
// line of Chinese text, which is what loading the fonts costs any window of this program.
#include "resident.h"
#include "startuptime.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(648, 558); // mainform.ui
    if (argc > 1 && QByteArray(argv[1]) == "--label")
        (new QLabel(QStringLiteral("外链群发 排名查询"), &window))->adjustSize();
    window.show();
    QTimer::singleShot(0, &window, [&] {
        window.repaint();
        std::printf("%lld %ld\n", monotonicNs(), residentKiB());
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
