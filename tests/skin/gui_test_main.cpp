// The main of the window tests: a QApplication with the program's skin, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>

#include "skin/skin_theme.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    CSkinTheme::Apply(app);
    return RUN_ALL_TESTS();
}
