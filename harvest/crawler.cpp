#include "crawler.h"

#include "crawlhost.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "htmllinks.h"
#include "leadingnumber.h"
#include "listbusylock.h"
#include "programfolder.h"
#include "programstate.h"
#include "quarvel.h"
#include "repaintlock.h"
#include "urlrows.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTime>
#include <QTimer>

namespace
{

// An address written with its scheme. Secure addresses count as absolute
// too, so that the on-site rule and the resolver never mistake them for
// relative links.
bool IsAbsolute(const QString &link)
{
    const QString head = link.left(8).toUpper();
    return head.startsWith(QLatin1String("HTTP://")) || head.startsWith(QLatin1String("HTTPS://"));
}

// The host part of an absolute address, as a folder name: the scheme
// removed, ":", ";" and "," made "_".
QString HostPart(const QString &address)
{
    QString rest = address;
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0 && IsAbsolute(rest)) rest = rest.mid(scheme + 3);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString host = slash >= 0 ? rest.left(slash) : rest;
    host.remove(QStringLiteral("http://"));
    host.remove(QStringLiteral("HTTP://"));
    for (QChar c : {QLatin1Char(':'), QLatin1Char(';'), QLatin1Char(',')})
        host.replace(c, QLatin1Char('_'));
    return host;
}

// An address without its "http://" or "https://": the plain and the secure
// address of one place compare equal in the downward rule.
QString WithoutScheme(const QString &address)
{
    return IsAbsolute(address) ? address.mid(address.indexOf(QLatin1String("://")) + 3) : address;
}

// Runs the crawl's end steps however an activation is left.
class DepthScope
{
public:
    DepthScope(int &depth, bool &stopPage, CrawlHost &host)
        : m_depth(depth), m_stopPage(stopPage), m_host(host)
    {
        ++m_depth;
        m_host.SetDepth(m_depth);
    }
    ~DepthScope()
    {
        m_stopPage = false;
        --m_depth;
        m_host.SetDepth(m_depth);
        if (m_depth == 0) m_host.HarvestEnded();
    }

private:
    int &m_depth;
    bool &m_stopPage;
    CrawlHost &m_host;
};

} // namespace

Crawler::Crawler(Quarvel &pageFetcher, DownloadListModel &list, DownloadState &downloads,
                 ProgramSettings &settings, const QString &tempFolder, const QString &startStamp,
                 CrawlHost &host, QObject *parent)
    : QObject(parent), m_fetcher(pageFetcher), m_list(list), m_downloads(downloads),
      m_settings(settings), m_tempFolder(tempFolder), m_startStamp(startStamp), m_host(host)
{
    connect(&m_fetcher, &Quarvel::Failed, this, [this] { m_pageFailed = true; });
}

QString Crawler::PageFile() const
{
    return ProgramFolder::Join(m_tempFolder, m_startStamp + QStringLiteral(".html"));
}

bool Crawler::StartHarvest(const QString &address)
{
    // Crawl depth and visited list are shared: one harvest at a time.
    if (m_depth > 0) return false;
    GetAllFiles(address);
    return true;
}

void Crawler::WaitFor(const std::function<bool()> &done)
{
    // Sleeps in the event loop; the page fetch's end wakes it at once, the
    // short timer catches the stop flags.
    while (!done() && !QCoreApplication::closingDown()) {
        QEventLoop loop;
        connect(&m_fetcher, &Quarvel::Finished, &loop, &QEventLoop::quit);
        connect(&m_fetcher, &Quarvel::TooSmall, &loop, &QEventLoop::quit);
        connect(&m_fetcher, &Quarvel::Failed, &loop, &QEventLoop::quit);
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool Crawler::FetchPage(const QString &address, QString &pageAddress, QString &text)
{
    if (Options.ViewBrowser) {
        QString document;
        m_host.SetBrowserCaption(address);
        const bool loaded = m_host.BrowserFetch(
            address, [this] { return StopPage; }, document, text);
        m_host.SetBrowserCaption(document);
        if (StopPage || !loaded || document.trimmed().isEmpty()) return false;
        pageAddress = document;
        return true;
    }
    // A page still loading from a stopped fetch, and its file, go first, so
    // that this page is never read from a stale file.
    m_fetcher.Cancel();
    QFile::remove(PageFile());
    m_downloads.PageFetched = false;
    m_pageFailed = false;
    m_host.SetDownloadCaption(address);
    if (!m_fetcher.StartDownload(address, PageFile(), 0, true, 0, 0, false, QString()))
        return false;
    WaitFor([this] { return m_downloads.PageFetched || StopPage; });
    if (StopPage || m_pageFailed) {
        m_fetcher.Cancel();
        QFile::remove(PageFile());
        return false;
    }
    QFile file(m_fetcher.LocalFile());
    if (file.open(QIODevice::ReadOnly)) text = QString::fromUtf8(file.readAll());
    file.close();
    QFile::remove(m_fetcher.LocalFile());
    // A redirected page is the page at its final address.
    pageAddress = m_fetcher.FinalURL();
    return true;
}

void Crawler::GetAllFiles(const QString &address)
{
    QCoreApplication::processEvents();
    DepthScope scope(m_depth, StopPage, m_host);
    if (StopHarvest) return;
    const QString stamp = QTime::currentTime().toString(QStringLiteral("hhmmss"));
    QString pageAddress;
    QString text;
    if (!FetchPage(address, pageAddress, text)) return;
    const PageLinks page = HTML_GetAllURLs(text, [] { QCoreApplication::processEvents(); });
    if (m_depth == 1) {
        m_visited = QStringList{pageAddress};
    }
    for (qsizetype index = 0; index < page.Links.size(); ++index) {
        QCoreApplication::processEvents();
        const QString written = page.Links.at(index);
        if (written.trimmed().isEmpty() || (Options.StayOnsite && IsAbsolute(written))) continue;

        // Directory or page or file, judged on the link as listed.
        QString entry = written;
        bool isDirectory = false;
        if (!entry.toLower().contains(QLatin1String("parent directory"))) {
            if (!entry.contains(QLatin1Char('/')) && !entry.contains(QLatin1Char('.')))
                entry += QLatin1Char('/');
            isDirectory = entry.endsWith(QLatin1Char('/'));
        }
        if (entry.contains(QLatin1Char('@'))) continue;
        const qsizetype htm = entry.toUpper().lastIndexOf(QLatin1String(".HTM"));
        const bool isPage =
            isDirectory || (htm >= 0 && (htm + 4 == entry.size() || htm + 5 == entry.size()));

        if (isPage) {
            if (!(m_depth < Options.RecurseIndexDepth || (m_depth == 1 && Options.DoExtraClick)))
                continue;
            const QString absolute =
                IsAbsolute(written) ? written : m_resolver.ResolveLink(pageAddress, written);
            if (absolute.isEmpty() || pageAddress.trimmed() == absolute.trimmed() ||
                (Options.JustGoDown &&
                 WithoutScheme(pageAddress).startsWith(WithoutScheme(absolute))) ||
                m_visited.contains(absolute))
                continue;
            m_visited.append(absolute);
            GetAllFiles(absolute);
            continue;
        }

        // A file link; a base address counts for this and every later link.
        QString absolute;
        if (IsAbsolute(written)) {
            absolute = written;
        } else {
            if (!page.BaseAddress.isEmpty()) pageAddress = page.BaseAddress;
            absolute = m_resolver.ResolveLink(pageAddress, written);
        }
        if (absolute.trimmed().isEmpty()) continue;
        const QString host = HostPart(absolute);
        QString fileName = absolute.mid(absolute.lastIndexOf(QLatin1Char('/')) + 1);
        if (fileName.isEmpty()) continue;
        if (!IsFileType(fileName, Filters) || !MatchesPattern(fileName, Filters.SearchPatterns))
            continue;
        AddRow(absolute, host, fileName, stamp, address);
    }
}

void Crawler::AddRow(const QString &absolute, const QString &host, const QString &fileName,
                     const QString &stamp, const QString &referer)
{
    RepaintLock repaint(m_list);
    ListBusyLock busy(m_downloads);
    m_host.RowAdded();
    QString name = fileName;
    name.remove(QLatin1Char('\r'));
    name.remove(QLatin1Char('\n'));
    if (Options.UniqueFilename) name = stamp + QLatin1Char('_') + name;
    const QString folder = UrlRows::SafeComponent(host);
    const QString file = ProgramFolder::Join(ProgramFolder::Join(m_settings.TargetDir, folder),
                                             UrlRows::SafeComponent(name));
    const int position = qBound(1, m_downloads.LastRow + 1, m_list.count() + 1);
    m_list.insertRow(position, file);
    m_downloads.LastRow = position;
    m_list.setSubItem(position, DownloadListModel::ColSize, QStringLiteral("0/0 bytes"));
    m_list.setSubItem(position, DownloadListModel::ColSource, absolute);
    m_list.setSubItem(position, DownloadListModel::ColTargetDir, m_settings.TargetDir);
    m_list.setSubItem(position, DownloadListModel::ColMainURL, folder);
    m_list.setSubItem(position, DownloadListModel::ColMinFileSize,
                      QString::number(LeadingNumber(MinFileSizeText) * 1024));
    m_list.setSubItem(position, DownloadListModel::ColMdnlNumber,
                      Options.MultiDnl ? QStringLiteral("TRUE") : QString());
    m_list.setSubItem(position, DownloadListModel::ColRef, referer);
}
