// Quarvel's entry point.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt ends the process with a terse message when no display can be opened; say
// plainly what is missing instead.
bool haveDisplay()
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (!haveDisplay()) {
        std::fputs("Quarvel is a desktop program and needs a graphical display: no DISPLAY or "
                   "WAYLAND_DISPLAY is set.\nStart it inside a desktop session (or under Xvfb, "
                   "or with QT_QPA_PLATFORM=offscreen to run it without showing anything).\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUARVEL_VERSION));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quarvel v") + QApplication::applicationVersion());
    window.setCentralWidget(new QLabel(QStringLiteral("Quarvel"), &window));
    window.resize(640, 240);
    window.show();
    return app.exec();
}
