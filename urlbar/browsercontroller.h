#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <functional>

class QWebEngineNewWindowRequest;
class UrlBarController;
class frmRaiseIE;
class frmWebbrowser;
struct UrlBarState;

// The browser window's commands: back, forward, harvest this page, take the
// page's address into the URL bar, one counting step, swap marks, the address
// box; and its two layouts, docked beside the URL bar or covering the work
// area, with the edge watch that docks it again.
class BrowserController : public QObject
{
    Q_OBJECT
public:
    BrowserController(frmWebbrowser &window, frmRaiseIE &bar, UrlBarController &urlBar,
                      UrlBarState &state, QObject *parent = nullptr);

    // Starts a harvest of the working address (the options window's start).
    std::function<void()> StartHarvest;
    // The desktop work area in twips; the primary screen's unless replaced.
    std::function<QRect()> WorkArea;
    // The mouse position in screen pixels; the real cursor unless replaced.
    std::function<QPoint()> CursorPixels;

    // On while the browser covers the whole work area.
    bool BrowserFull = false;
    // Pages' requests for a new window refused so far.
    int RefusedWindows = 0;

    void cmdBack_Click();
    void cmdForeward_Click();
    void cmdDownload_Click();
    void cmdUseIt_Click();
    // One counting step; the window shows and opens the counted address.
    void cmdRL_Click();
    void cmdChangeRL_Click();
    // Enter in the address box opens its address.
    void txtURL_Enter();
    // Switches between the docked and the full layout.
    void ToggleBrowser();
    // The edge watch: the cursor at the far left or right docks the browser.
    void Timer1_Timer();
    // The cursor position in twips.
    QPoint GetCursorTwips() const;
    // The mouse over widget docks a full browser (the URL bar, the download
    // window).
    void WatchMouseOver(QWidget *widget);

signals:
    // A page asked for a new window and was refused.
    void WindowRefused();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void NewWindowRequested(QWebEngineNewWindowRequest &request);
    // Puts the window's outer frame on rect (pixels).
    void PlaceOuter(const QRect &rect);

    frmWebbrowser &m_window;
    frmRaiseIE &m_bar;
    UrlBarController &m_urlBar;
    UrlBarState &m_state;
};
