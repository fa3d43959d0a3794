#include <QCoreApplication>
#include <gtest/gtest.h>

// The SQL drivers are plugins, found through the application's library paths.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
