// A first start of the window, in a process of its own that links what the window program
// links: the large libraries that only some work needs (Chromium for a rank query, Qt Charts and
// libxlsxwriter for a chart or a spreadsheet, libcurl for a fetch) must not be mapped once the
// window is up. A test
// process cannot say this, as it links some of them itself.
#include "app/application.h"
#include "app/mainform.h"
#include "app/messagebox.h"

#include <QFile>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

// The mapped files whose path contains part.
QStringList mappedFiles(const QString& part) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no /proc/self/maps)")};
    QStringList found;
    for (const QByteArray& line : maps.readAll().split('\n'))
        if (const QString path = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
            line.contains('/') && path.contains(part) && !found.contains(path))
            found << path;
    return found;
}

} // namespace

int main(int argc, char* argv[]) {
    Application::prepare();
    Application app(argc, argv);
    MessageBox::setTestMode(true);
    QTemporaryDir dir;
    TMainForm form(dir.path());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fputs("the window was not shown\n", stderr);
        return 1;
    }
    // The rank tab too: it opens the history.
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("SEOPageControl"));
    pages->setCurrentIndex(pages->indexOf(form.findChild<QWidget*>("QuerySortTabSheet")));
    QTest::qWait(50);
    int faults = 0;
    // Nor Qt's image format plugins, which a PNG read at start would load, each of them.
    for (const char* part : {"WebEngine", "moting-seo-browser", "Qt6Charts", "xlsxwriter",
                             "moting-seo-report", "libcurl", "imageformats"})
        for (const QString& path : mappedFiles(QLatin1String(part))) {
            std::fprintf(stderr, "mapped at start: %s\n", qPrintable(path));
            ++faults;
        }
    if (faults == 0)
        std::puts(
            "a start maps neither Chromium, Qt Charts, libxlsxwriter, libcurl nor an image plugin");
    return faults == 0 ? 0 : 1;
}
