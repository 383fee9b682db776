#include "wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace
{

// Set when a wait finds that the program is quitting; cleared when the main
// loop has been left (aboutToQuit), after which event loops work again.
bool quitting = false;

void NoteQuit()
{
    if (quitting) return;
    quitting = true;
    if (QCoreApplication *app = QCoreApplication::instance())
        QObject::connect(
            app, &QCoreApplication::aboutToQuit, app, [] { quitting = false; },
            Qt::SingleShotConnection);
}

} // namespace

bool QuitRequested()
{
    return quitting || QCoreApplication::closingDown();
}

WaitEnd WaitUntil(const std::function<bool()> &condition, const WaitOptions &options)
{
    const int pollMs = qMax(1, options.PollMs);
    for (;;) {
        if (condition()) return WaitEnd::Done;
        if (QuitRequested()) return WaitEnd::Quit;
        if (options.OuterFrame && options.OuterFrame()) return WaitEnd::Refused;
        if (!QCoreApplication::instance()) {
            // No event loop to sleep in (a tool without an application).
            QThread::msleep(pollMs);
            continue;
        }
        QEventLoop loop;
        if (options.Wake) options.Wake(loop);
        QTimer::singleShot(pollMs, &loop, &QEventLoop::quit);
        // After the application was told to quit, every loop returns -1 at
        // once: looking again would spin.
        if (loop.exec() == -1) NoteQuit();
    }
}
