#pragma once

#include <QString>
#include <functional>

// What the crawl needs from the windows: the embedded browser's page, and
// the captions and buttons that show a harvest's progress. Tests answer with
// plain objects.
class CrawlHost
{
public:
    virtual ~CrawlHost() = default;

    // Browser mode: loads address in the embedded browser and waits (bounded,
    // in the event loop) until it has loaded or stopPage() says to stop.
    // documentAddress is the loaded document's address (empty when nothing
    // loaded), html its HTML. False when nothing could be loaded.
    virtual bool BrowserFetch(const QString &address, const std::function<bool()> &stopPage,
                              QString &documentAddress, QString &html) = 0;

    virtual void SetDownloadCaption(const QString &) {}
    virtual void SetBrowserCaption(const QString &) {}
    // The crawl depth, shown on the download window.
    virtual void SetDepth(int) {}
    // A row was added: the download window's start, delete and clear
    // commands become available.
    virtual void RowAdded() {}
    // The harvest is over: its start command returns, its stop button goes.
    virtual void HarvestEnded() {}
};
