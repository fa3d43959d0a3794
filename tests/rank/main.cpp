#include <QGuiApplication>
#include <gtest/gtest.h>
#include <unistd.h>

// The SQL driver is a plugin, found through the application's library paths. The browser
// needs a GUI application, drawn offscreen, and as root runs without its sandbox.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
