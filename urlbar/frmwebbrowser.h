#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QResizeEvent;
class QTimer;
class QWebEngineView;

// The browser window: an embedded web browser with back, forward, harvest and
// counting buttons, docked beside the URL bar or covering the work area.
class frmWebbrowser : public QWidget
{
    Q_OBJECT
public:
    // Resize layout in twips: the browser sits at (BrowserLeft, BrowserTop)
    // and is as large as the client area less the allowances; the address box
    // keeps its left edge and is as wide as the client area less its allowance.
    static constexpr int BrowserLeft = 120;
    static constexpr int BrowserTop = 960;
    static constexpr int BrowserWidthAllowance = 240;
    static constexpr int BrowserHeightAllowance = 1080;
    static constexpr int UrlWidthAllowance = 720;
    // Designed client size in twips, used until the startup places the window.
    static constexpr int DesignWidth = 7305;
    static constexpr int DesignHeight = 8640;
    // Interval of the edge watch while the browser covers the work area.
    static constexpr int EdgeWatchMs = 200;
    // Tooltips of the browser in the docked and in the full layout.
    static constexpr const char *DockedBrowserTip =
        "The browserwindow is minimized if you press the raise/lower button";
    static constexpr const char *FullBrowserTip =
        "Move to the most left or most right of the screen to minimize the browser window";

    explicit frmWebbrowser(QWidget *parent = nullptr);

    // Lays out the browser and the address box for the current client size;
    // does nothing while the window is minimised.
    void Form_Resize();

    // Controls, named as the language file and the handlers address them.
    QPushButton *cmdBack = nullptr;
    QPushButton *cmdForeward = nullptr;
    QPushButton *cmdDownload = nullptr;
    QPushButton *cmdUseIt = nullptr;
    QPushButton *cmdRL = nullptr;
    QPushButton *cmdChangeRL = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtURL = nullptr;
    QLabel *Label1 = nullptr;
    // The page itself. Its engine starts only when it is first shown or asked
    // for its page, not when the window is built.
    QWebEngineView *WebBrowser1 = nullptr;
    // Edge watch; stopped until the browser covers the work area.
    QTimer *Timer1 = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Places a control at a designed position given in twips.
    void Place(QWidget *control, int left, int top, int width, int height);
};
