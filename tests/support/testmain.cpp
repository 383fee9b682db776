// gtest main for every test program: the tests run inside a Qt application
// object so that sockets, timers and models have an event loop to use.
#include <QApplication>
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The embedded browser shares OpenGL contexts with the application; this
    // must be said before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The embedded browser's sandbox cannot run as root (CI runs as root),
    // and there is no GPU.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                "--no-sandbox --disable-gpu --disable-background-networking");
    // Widget tests need a QApplication; the offscreen platform gives them one
    // without a display. Pure logic tests are happy with either.
    std::unique_ptr<QCoreApplication> app;
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::strlen(platform) > 0)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
