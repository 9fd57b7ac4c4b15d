#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Widgets need a platform; test discovery runs this at build time without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The player's set-up of whoever runs the tests stays out of them.
    setenv("XDG_CONFIG_HOME", "/nonexistent/tessivox-tests", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
