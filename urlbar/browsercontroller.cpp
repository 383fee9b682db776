#include "browsercontroller.h"

#include "frmraiseie.h"
#include "frmwebbrowser.h"
#include "twips.h"
#include "urlbarcontroller.h"
#include "urlbarlogic.h"
#include "urlbarstate.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace
{

qreal DpiX()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

qreal DpiY()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

QRect PrimaryWorkArea()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return QRect(0, 0, 28800, 16200);
    const QRect px = screen->availableGeometry();
    return QRect(Twips::FromPixels(px.left(), DpiX()), Twips::FromPixels(px.top(), DpiY()),
                 Twips::FromPixels(px.width(), DpiX()), Twips::FromPixels(px.height(), DpiY()));
}

} // namespace

BrowserController::BrowserController(frmWebbrowser &window, frmRaiseIE &bar,
                                     UrlBarController &urlBar, UrlBarState &state, QObject *parent)
    : QObject(parent), WorkArea(PrimaryWorkArea), CursorPixels([] { return QCursor::pos(); }),
      m_window(window), m_bar(bar), m_urlBar(urlBar), m_state(state)
{
    auto click = [this](QPushButton *button, void (BrowserController::*handler)()) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    click(window.cmdBack, &BrowserController::cmdBack_Click);
    click(window.cmdForeward, &BrowserController::cmdForeward_Click);
    click(window.cmdDownload, &BrowserController::cmdDownload_Click);
    click(window.cmdUseIt, &BrowserController::cmdUseIt_Click);
    click(window.cmdRL, &BrowserController::cmdRL_Click);
    click(window.cmdChangeRL, &BrowserController::cmdChangeRL_Click);
    connect(window.txtURL, &QLineEdit::returnPressed, this, &BrowserController::txtURL_Enter);
    connect(window.Timer1, &QTimer::timeout, this, &BrowserController::Timer1_Timer);

    QWebEngineView *view = window.WebBrowser1;
    // The title shows where a navigation ended; the address box follows the
    // page as links are clicked, unless the user is typing an address.
    connect(view, &QWebEngineView::loadFinished, this,
            [this] { m_window.setWindowTitle(m_window.WebBrowser1->url().toString()); });
    connect(view, &QWebEngineView::urlChanged, this, [this](const QUrl &url) {
        if (!m_window.txtURL->isModified()) m_window.txtURL->setText(url.toString());
    });
    connect(view->page(), &QWebEnginePage::newWindowRequested, this,
            &BrowserController::NewWindowRequested);

    // A click on the window or on its label switches the layout.
    window.installEventFilter(this);
    window.Label1->installEventFilter(this);
}

void BrowserController::cmdBack_Click()
{
    m_window.WebBrowser1->back();
}

void BrowserController::cmdForeward_Click()
{
    m_window.WebBrowser1->forward();
}

void BrowserController::cmdDownload_Click()
{
    m_state.RLText = m_window.WebBrowser1->url().toString();
    // The marks stay with their positions; the view stays inside the text.
    m_state.RLMarks = m_state.RLMarks.leftJustified(m_state.RLText.size(), QLatin1Char(' '), true);
    m_state.RLLength = int(m_state.RLText.size());
    m_state.RLViewStart = UrlBarLogic::ClampViewStart(m_state.RLViewStart, m_state.RLLength);
    m_urlBar.ShowRLView();
    if (StartHarvest) StartHarvest();
}

void BrowserController::cmdUseIt_Click()
{
    m_bar.TextFromClipboard->setText(m_window.WebBrowser1->url().toString());
    m_urlBar.UseIt();
    m_window.cmdBack->setFocus();
}

void BrowserController::cmdRL_Click()
{
    m_urlBar.RaiseLower();
    m_window.setWindowTitle(m_state.RLText);
    m_window.txtURL->setModified(false);
    m_window.WebBrowser1->load(QUrl::fromUserInput(m_state.RLText));
}

void BrowserController::cmdChangeRL_Click()
{
    m_urlBar.SwapRL();
}

void BrowserController::txtURL_Enter()
{
    // Typed addresses without a scheme are completed as a browser's address
    // line does; an empty one leaves the page to the browser's own report.
    m_window.txtURL->setModified(false);
    m_window.WebBrowser1->load(QUrl::fromUserInput(m_window.txtURL->text()));
}

void BrowserController::NewWindowRequested(QWebEngineNewWindowRequest &request)
{
    // Left unhandled, the request opens nothing: no further browser windows.
    Q_UNUSED(request);
    ++RefusedWindows;
    emit WindowRefused();
}

void BrowserController::ToggleBrowser()
{
    const QRect area = Twips::ToPixels(WorkArea(), DpiX(), DpiY());
    QWebEngineView *view = m_window.WebBrowser1;
    if (BrowserFull) {
        view->setToolTip(QString::fromLatin1(frmWebbrowser::DockedBrowserTip));
        m_window.Timer1->stop();
        m_window.Timer1->setInterval(0);
        const QRect bar = m_bar.frameGeometry();
        PlaceOuter(
            QRect(bar.left() + bar.width(), bar.top(), area.width() - bar.width(), area.height()));
    } else {
        view->setToolTip(QString::fromLatin1(frmWebbrowser::FullBrowserTip));
        m_window.Timer1->setInterval(frmWebbrowser::EdgeWatchMs);
        m_window.Timer1->start();
        PlaceOuter(area);
    }
    BrowserFull = !BrowserFull;
}

void BrowserController::PlaceOuter(const QRect &rect)
{
    // The frame (known once the window is shown) comes off the client area.
    QSize frame(0, 0);
    if (m_window.isVisible()) frame = m_window.frameGeometry().size() - m_window.geometry().size();
    m_window.move(rect.topLeft());
    m_window.resize((rect.size() - frame).expandedTo(QSize(0, 0)));
}

QPoint BrowserController::GetCursorTwips() const
{
    return UrlBarLogic::CursorTwips(CursorPixels(), DpiX(), DpiY());
}

void BrowserController::Timer1_Timer()
{
    if (BrowserFull && UrlBarLogic::AtWorkAreaEdge(GetCursorTwips(), WorkArea())) ToggleBrowser();
}

void BrowserController::WatchMouseOver(QWidget *widget)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

bool BrowserController::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((watched == &m_window || watched == m_window.Label1) && type == QEvent::MouseButtonPress) {
        ToggleBrowser();
        return watched == m_window.Label1;
    }
    if (watched != &m_window && watched != m_window.Label1 &&
        (type == QEvent::Enter || type == QEvent::MouseMove) && BrowserFull)
        ToggleBrowser();
    return QObject::eventFilter(watched, event);
}
