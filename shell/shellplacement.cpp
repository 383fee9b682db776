#include "quarvelshell.h"

#include "frmdownloaddata.h"
#include "frmraiseie.h"
#include "frmrlie.h"
#include "frmshowpicture.h"
#include "frmwebbrowser.h"
#include "optionscontroller.h"
#include "twips.h"
#include "windowops.h"

#include <QGuiApplication>
#include <QScreen>

// Where the windows stand: the plan's places in twips turned into pixels of
// the window's screen, the options window kept inside the work area, and the
// URL bar's minimize and restore carried to the other windows.

namespace
{

qreal dpiX(const QWidget *w)
{
    const QScreen *s = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}

qreal dpiY(const QWidget *w)
{
    const QScreen *s = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchY() : 96.0;
}

} // namespace

int QuarvelShell::optionsWidthTwips() const
{
    // The options window is as wide as its texts in this language need.
    return Twips::FromPixels(m_options->sizeHint().width(), dpiX(m_options.get()));
}

void QuarvelShell::placeWindow(QWidget *window, const QRect &twips)
{
    const QRect px = Twips::ToPixels(twips, dpiX(window), dpiY(window));
    // The plan gives outer edges; the frame (known once shown) comes off the
    // client area.
    QSize extra(0, 0);
    if (window->isVisible()) extra = window->frameGeometry().size() - window->geometry().size();
    // The options window's strip of commands needs its designed height inside
    // the frame, or its second row of buttons is cut off.
    QSize size = px.size();
    if (window == m_options.get()) {
        extra.setHeight(0);
        // An expanded options window keeps its height.
        if (m_optionsController && m_optionsController->Expanded)
            size.setHeight(m_options->HeightFor(true));
    }
    window->move(px.topLeft());
    window->resize(size - extra);
    if (window == m_options.get() && m_started) keepOptionsInside();
}

void QuarvelShell::fitOptionsWidth()
{
    // Widgets not yet shown report the sizes of their old captions; once
    // shown, the options window's own size hint gives the width it needs.
    if (m_ending) return;
    m_plan.Options = WindowPlan::For(m_workArea, optionsWidthTwips()).Options;
    placeWindow(m_options.get(), m_plan.Options);
}

void QuarvelShell::keepOptionsInside()
{
    // Expanded near the bottom of a small work area, the options window moves
    // up (and at most fills the work area's height), so that every option
    // stays on the screen.
    if (m_ending || !m_options->isVisible()) return;
    const QRect area = Twips::ToPixels(m_workArea, dpiX(m_options.get()), dpiY(m_options.get()));
    const QRect frame = m_options->frameGeometry();
    const int extra = frame.height() - m_options->height();
    if (frame.height() > area.height())
        m_options->resize(m_options->width(), area.height() - extra);
    const int below = m_options->frameGeometry().bottom() - area.bottom();
    if (below > 0) m_options->move(m_options->x(), qMax(area.top(), m_options->y() - below));
}

void QuarvelShell::urlBarStateChanged()
{
    if (m_inStateChange) return;
    m_inStateChange = true;
    const Qt::WindowStates state = m_urlBar->windowState();
    QWidget *others[] = {m_downloadWindow.get(), m_browser.get(), m_options.get(), m_picture.get()};
    if (state & Qt::WindowMinimized) {
        for (QWidget *w : others)
            w->hide();
    } else {
        if (state & Qt::WindowMaximized) m_urlBar->showNormal();
        for (QWidget *w : others)
            w->setWindowState(Qt::WindowNoState);
        m_downloadWindow->show();
        m_options->show();
        if (PictureMode) {
            m_browser->hide();
            m_picture->show();
        } else {
            m_picture->hide();
            m_browser->show();
        }
    }
    SetTopmost(m_options.get(), true);
    m_inStateChange = false;
}
