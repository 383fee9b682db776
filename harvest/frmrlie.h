#pragma once

#include <QString>
#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The options window: every harvest option, the start and stop of a harvest,
// and the commands that copy the options into URL-list and download-list rows.
// Its top strip holds the commands; the options below it show only while the
// window is expanded (the window is simply made taller).
class frmRLIE : public QWidget
{
    Q_OBJECT

public:
    // Window heights in twips: the command strip only, and everything.
    static constexpr int CollapsedHeightTwips = 1140;
    static constexpr int ExpandedHeightTwips = 8865;
    // The highest number of simultaneous downloads (also named in the tooltip
    // of txtSimultaneousDownloads).
    static constexpr int MaxSimultaneousDownloads = 20;

    explicit frmRLIE(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    // The window's height in pixels collapsed or expanded: expanded, at least
    // the designed height and as tall as every option needs (options added
    // later make it grow). The shell keeps it inside the work area.
    int HeightFor(bool expanded) const;

    // Command strip.
    QPushButton *Command2 = nullptr;   // start a harvest ("dnl")
    QPushButton *cmdStopDnl = nullptr; // stop the page / the harvest; visible while one runs
    QPushButton *Command1 = nullptr;   // one raise/lower step on the working address
    QPushButton *cmdUseIt = nullptr;
    QPushButton *cmdSwapRL = nullptr;
    QPushButton *cmdGetFilesFromCP = nullptr; // offered by the clipboard poll only
    QLabel *picWaitBar = nullptr;             // shown while downloads run
    QPushButton *Command3 = nullptr;          // expands / collapses the window

    // File types and name patterns.
    QGroupBox *frmFileTypes2Download = nullptr;
    std::array<QCheckBox *, 5> Check1{};
    QLineEdit *txtManualType = nullptr;
    QLabel *lblSearchPattern = nullptr;
    QLineEdit *txtSearchPattern = nullptr;

    // Target directory.
    QGroupBox *frmTargetDirectory = nullptr;
    QLineEdit *txtTargetDir = nullptr;
    QPushButton *cmdTargetDir = nullptr;

    // Number boxes with their up/down buttons.
    QGroupBox *frmNumOfSimDownloads = nullptr;
    QLineEdit *txtSimultaneousDownloads = nullptr;
    QPushButton *cmdUp = nullptr;
    QPushButton *cmdDown = nullptr;
    QGroupBox *frmRecIndexDepth = nullptr;
    QLineEdit *txtIndexDepth = nullptr;
    QPushButton *cmdUpIndex = nullptr;
    QPushButton *cmdDownIndex = nullptr;

    // Sizes.
    QGroupBox *frmMinFileSize = nullptr;
    QLineEdit *txtMinFileSize = nullptr;
    QGroupBox *frmMultiDnl = nullptr;
    QCheckBox *chkMultiDnl = nullptr;
    QLineEdit *txtMultiDnl = nullptr;
    QLabel *Label1 = nullptr;

    // Crawl options.
    QGroupBox *frmMoreOptions = nullptr;
    QCheckBox *chkStayOnsite = nullptr;
    QCheckBox *chkJustGoDown = nullptr;
    QCheckBox *chkDoExtraClick = nullptr;
    QCheckBox *chkViewBrowser = nullptr;
    QCheckBox *chkUniqueFilename = nullptr;
    QCheckBox *chkClipboard2URLList = nullptr;
    QCheckBox *chkSkipDownloaded = nullptr; // the archive of finished downloads
    QCheckBox *chkBrowserLogin = nullptr;   // the browser's cookies and user agent
    QCheckBox *chkKeepConnections = nullptr;
    QCheckBox *chkModernPictures = nullptr; // srcset, data-src and the like
    QLabel *lblPerServer = nullptr;
    QLineEdit *txtPerServer = nullptr; // groups one server may hold, 0 no limit

    // Copying the options into list rows.
    QPushButton *cmdAttachOptions2URLList = nullptr;
    QPushButton *cmdAttachOptions2Downloadlist = nullptr;

    // Form state: whether the options part is shown, and the time of day
    // (hh:mm:ss) at which the stop button was pressed.
    bool Expanded = false;
    QString StopPressTime;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *BuildCommandStrip();
    QWidget *BuildOptions();

    // Holds every control; it keeps its natural height and the window shows
    // as much of it as its own height allows.
    QWidget *m_content = nullptr;
};
