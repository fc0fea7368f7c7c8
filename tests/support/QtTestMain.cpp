#include <gtest/gtest.h>

#include <QApplication>

// The main of the tests that need a widgets application object (the Qt
// adapters, the quit's glue to the window). Test discovery runs without a
// display, hence offscreen by default.
int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
