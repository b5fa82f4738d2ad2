// The main of the window tests: a QApplication with the program's skin, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>

#include "skin/skin_theme.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // ctest lists the cases without the test environment; windows never need a real screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CSkinTheme::Apply(app);
    return RUN_ALL_TESTS();
}
