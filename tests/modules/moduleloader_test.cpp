#include "modules/moduleinterfaces.h"
#include "modules/moduleloader.h"
#include "text/apperror.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A module that is not the one this program was built with is refused with a message that
// says so, before any of its code runs; one that is no module at all, or missing, likewise.
TEST(ModuleLoader, AWrongModuleIsAnErrorNotACall) {
    QTemporaryDir dir;
    const QByteArray notAModule = dir.filePath("libnot-a-module.so").toLocal8Bit();
    QFile file(QString::fromLocal8Bit(notAModule));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x7F"
               "ELF but nothing else");
    file.close();
    const QByteArray missing = dir.filePath("libmissing.so").toLocal8Bit();

    const struct {
        const char* name;
        const char* path;
        const char* message; // a part of the error's text
    } cases[] = {
        {"another version", MT_OLD_BROWSER_MODULE,
         "is a module of another version (org.moting-seo.BrowserModule/0, this program needs "
         "org.moting-seo.BrowserModule/1)"},
        {"no module", notAModule.constData(), "Cannot load the browser module: "},
        {"missing", missing.constData(), "is not in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Each under a name of its own: loaded modules are kept by name.
        const ModulePlaces places{"browser", c.name, c.path, c.path};
        try {
            loadModule<BrowserModule>(places);
            ADD_FAILURE() << "loaded";
        } catch (const AppError& e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Cannot load the browser module: ")))
                << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QLatin1String(c.message)))
                << e.message().toStdString();
        }
    }
}

// The program's own report module loads under its interface, once.
TEST(ModuleLoader, TheReportModuleLoadsOnce) {
    const ModulePlaces places{"report", "libmoting-seo-report.so", MT_REPORT_MODULE,
                              MT_REPORT_MODULE};
    ReportModule& first = loadModule<ReportModule>(places);
    EXPECT_EQ(&loadModule<ReportModule>(places), &first);
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
