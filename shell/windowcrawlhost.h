#pragma once

#include "crawlhost.h"

class frmDownloadData;
class frmRLIE;
class frmWebbrowser;

// The crawl's view of the windows: the embedded browser fetches pages in
// browser mode; captions, the depth label and the start and stop buttons show
// the harvest's progress.
class WindowCrawlHost : public CrawlHost
{
public:
    WindowCrawlHost(frmDownloadData &downloads, frmRLIE &options, frmWebbrowser &browser);

    bool BrowserFetch(const QString &address, const std::function<bool()> &stopPage,
                      QString &documentAddress, QString &html) override;
    void SetDownloadCaption(const QString &caption) override;
    void SetBrowserCaption(const QString &caption) override;
    void SetDepth(int depth) override;
    void RowAdded() override;
    void HarvestEnded() override;

    // How long a page may take to load in the browser, in milliseconds.
    int BrowserTimeoutMs = 60000;

private:
    frmDownloadData &m_downloads;
    frmRLIE &m_options;
    frmWebbrowser &m_browser;
};
