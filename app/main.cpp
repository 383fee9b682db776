// Quarvel's entry point: finds the program folder and the language file, then
// hands over to the shell's startup sequence.
#include "dialogquestions.h"
#include "programfolder.h"
#include "quarvelshell.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace
{

// Qt ends the process with a terse message when no display can be opened; say
// plainly what is missing instead.
bool haveDisplay()
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value) return true;
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
    // The embedded browser's sandbox cannot run as root.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUARVEL_VERSION));
    // The program ends when the URL bar closes, not with its last window.
    QApplication::setQuitOnLastWindowClosed(false);

    // Portable (lang.dat beside the program) or installed (lang.dat in
    // ../share/quarvel/, settings and downloads in the per-user data folder).
    const ProgramFolder::Layout layout =
        ProgramFolder::Locate(QCoreApplication::applicationDirPath(),
                              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    DialogQuestions questions;
    QuarvelShell shell(layout.Folder, layout.LanguageFile, questions,
                       QApplication::applicationVersion());
    QObject::connect(&shell, &QuarvelShell::EndRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (shell.Start() != QuarvelShell::StartResult::Started) return 0;
    const int rc = app.exec();
    shell.Shutdown();
    return rc;
}
