#include "windowops.h"

#include "twips.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QRect GetWorkArea()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return QRect(0, 0, 28800, 16200);
    const QRect px = screen->availableGeometry();
    const qreal dx = screen->logicalDotsPerInchX();
    const qreal dy = screen->logicalDotsPerInchY();
    return QRect(Twips::FromPixels(px.left(), dx), Twips::FromPixels(px.top(), dy),
                 Twips::FromPixels(px.width(), dx), Twips::FromPixels(px.height(), dy));
}

void SetTopmost(QWidget *window, bool on)
{
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) window->show();
    // Without a window manager the hint alone does nothing.
    if (on && visible) window->raise();
}

bool CloseGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && !Ending) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void RemoveCloseItem(QWidget *window, CloseGuard &guard)
{
    const bool visible = window->isVisible();
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           (window->windowFlags() & Qt::WindowStaysOnTopHint));
    window->installEventFilter(&guard);
    if (visible) window->show();
}
