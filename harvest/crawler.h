#pragma once

#include "filefilters.h"
#include "harvestoptions.h"
#include "linkresolver.h"
#include "pageprefetch.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class CrawlHost;
class DownloadArchive;
class DownloadListModel;
class LanguageTexts;
class Quarvel;
class ServerWaits;
struct DownloadState;
struct ProgramSettings;

// Where a harvest stands: counted while it runs, kept once it has ended.
struct HarvestProgress {
    enum class Stage {
        None,     // no harvest yet in this run of the program
        Running,  // pages are being read
        Finished, // every page was read
        Stopped,  // the user stopped it
        Failed,   // its start page could not be read
    };
    Stage State = Stage::None;
    int Pages = 0;
    int Files = 0;
    QString StartAddress;
    QString Failure; // why the start page could not be read
    int Skipped = 0; // addresses the archive held, so no row was added
};

// The harvest's state as the download window shows it, in the language of
// texts: "harvest: 43 pages, 380 files so far", "finished harvest: …",
// "stopped harvest: …", or the start address and why its page failed.
// Empty for no harvest.
QString HarvestText(const HarvestProgress &progress, const LanguageTexts &texts);

// The site crawl: fetches a page, extracts its links, follows the page links
// depth first down to the chosen depth and turns every file link that passes
// the filters into a new row of the download list.
class Crawler : public QObject
{
    Q_OBJECT
public:
    // pageFetcher is the transfer control reserved for pages (instance 0);
    // tempFolder holds the temporary page file named after startStamp.
    Crawler(Quarvel &pageFetcher, DownloadListModel &list, DownloadState &downloads,
            ProgramSettings &settings, const QString &tempFolder, const QString &startStamp,
            CrawlHost &host, QObject *parent = nullptr);

    HarvestOptions Options;
    FileFilters Filters;
    // The minimum file size as typed (kilobytes), read when a row is written.
    QString MinFileSizeText = QStringLiteral("10");
    bool StopHarvest = false; // ends the harvest after the open pages' links
    bool StopPage = false;    // skips the page being fetched
    // Pages the crawl may visit next are fetched ahead, as many at once as
    // downloads run at once; what the crawl decides stays the same. Browser
    // mode always fetches one page after the other.
    bool Prefetch = true;
    // The archive of finished downloads: with the setting SkipDownloaded, an
    // address it holds gives no row (nullptr: no archive).
    DownloadArchive *Archive = nullptr;
    // Extra request lines for every page fetch (the browser's login).
    void SetExtraHeaderLines(const std::function<QList<QByteArray>(const QString &)> &lines);
    // Servers that asked to wait: page fetches obey their waits (the engine's).
    ServerWaits *Waits = nullptr;

    // Starts a harvest of address; false (nothing done) while one runs.
    bool StartHarvest(const QString &address);
    // One page and everything below it.
    void GetAllFiles(const QString &address);

    int Depth() const { return m_depth; }
    const QStringList &Visited() const { return m_visited; }
    QString PageFile() const;
    // Pages fetched ahead (running, or ended and not yet reached).
    const PagePrefetch &Prefetched() const { return m_prefetch; }
    // How the last harvest ended, as the download window's title shows it:
    // "finished harvest: N pages, M files" (and how many addresses were
    // skipped as downloaded before), or the start address and the reason its
    // page could not be read.
    const QString &Outcome() const { return m_outcome; }
    HarvestProgress Progress() const;
    // The language of the outcome texts; English when not set.
    const LanguageTexts *Texts = nullptr;
    // Called once a harvest ends because its start page could not be read,
    // with the text of the outcome.
    std::function<void(const QString &)> StartFailed;

private:
    // One fetched page: the address its links resolve against (normal form)
    // and its text; failure says why there is none.
    struct Page {
        QString Address;
        QString Text;
        QString Failure;
        int Status = 0; // the answer's status and Retry-After field
        QString RetryAfter;
    };
    // FetchPage, after the wait of a server that asked to wait, and again
    // after its next wait when it refuses (crawlwaits.cpp).
    Page FetchWaitingForServer(const QString &address);
    Page FetchPage(const QString &address);
    Page FetchThroughBrowser(const QString &address);
    Page FetchAhead(const QString &address);
    // The page of a fetch's file, its final address and Content-Type.
    Page ReadPage(const QString &file, const QString &finalAddress, const QString &type);
    bool FollowsPages() const;
    // The address a page link leads to, empty when it is the page itself,
    // leads up while JustGoDown, or cannot be resolved.
    QString PageTarget(const QString &pageAddress, const QString &written) const;
    // The page links of a page the crawl would follow as things stand, in order.
    QStringList PageCandidates(const QStringList &links, QString pageAddress,
                               const QString &base) const;
    void AddRow(const QString &absolute, const QString &host, const QString &fileName,
                const QString &stamp, const QString &referer);
    void WaitFor(const std::function<bool()> &done);
    void BeginActivation(const QString &address);
    void EndActivation();
    bool Visit(const QString &absolute);

    Quarvel &m_fetcher;
    DownloadListModel &m_list;
    DownloadState &m_downloads;
    ProgramSettings &m_settings;
    QString m_tempFolder;
    QString m_startStamp;
    CrawlHost &m_host;
    LinkResolver m_resolver;
    PagePrefetch m_prefetch;
    int m_depth = 0;
    // The visited list in its order, and the same addresses for lookups.
    QStringList m_visited;
    QSet<QString> m_visitedSet;
    // File addresses that gave a row in this harvest: one row per address.
    QSet<QString> m_rowAddresses;
    int m_pagesRead = 0;
    int m_rowsAdded = 0;
    int m_skipped = 0;
    QString m_startAddress;
    QString m_startFailure;
    bool m_stopped = false;
    bool m_harvested = false;
    QString m_outcome;
    QString m_fetchFailure;
};
