#pragma once

#include <memory>

class BrowserController;
class PictureModeController;
class QuarvelShell;
class Questions;
class UrlBarController;

// Composes the URL bar's, the browser window's and picture mode's
// controllers with the options window and the download window once the
// shell has built them: which button starts what, and what the bar reads
// from the harvest options.
class UrlBarWiring
{
public:
    UrlBarWiring(QuarvelShell &shell, Questions &questions);
    ~UrlBarWiring();

    UrlBarController &UrlBar() const { return *m_urlBar; }
    BrowserController &Browser() const { return *m_browser; }
    PictureModeController &PictureMode() const { return *m_pictureMode; }

private:
    std::unique_ptr<UrlBarController> m_urlBar;
    std::unique_ptr<BrowserController> m_browser;
    std::unique_ptr<PictureModeController> m_pictureMode;
};
