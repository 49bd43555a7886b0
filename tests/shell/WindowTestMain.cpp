#include <QApplication>

#include <gtest/gtest.h>

// The windows need a widget application; offscreen, as ctest sets QT_QPA_PLATFORM.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // Closing a test's last window must not end the application under the next test.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
