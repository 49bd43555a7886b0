#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The windows need a widget application; offscreen, as ctest sets QT_QPA_PLATFORM.
int main(int argc, char** argv)
{
    // The windows store their frames in the settings: in a folder of this run's own, never in
    // the user's, nor in what an earlier run left.
    const QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    QApplication application(argc, argv);
    // Closing a test's last window must not end the application under the next test.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
