#include "crawler.h"

#include "crawlhost.h"
#include "downloadarchive.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "failurewords.h"
#include "htmllinks.h"
#include "httpaddress.h"
#include "leadingnumber.h"
#include "listbusylock.h"
#include "pagetext.h"
#include "programfolder.h"
#include "programstate.h"
#include "quarvel.h"
#include "repaintlock.h"
#include "serverwaits.h"
#include "urlrows.h"
#include "wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTime>
#include <QTimer>

namespace
{

// A link written as an absolute address: after leading blanks it starts with
// "http://" or "https://" (any letter case), or with "//" (the page's own
// scheme). Such links count as off-site for the on-site rule, and the
// resolver never mistakes them for relative links.
bool IsWrittenAbsolute(const QString &link)
{
    const QString head = link.trimmed().left(8).toUpper();
    return head.startsWith(QLatin1String("HTTP://")) ||
           head.startsWith(QLatin1String("HTTPS://")) || head.startsWith(QLatin1String("//"));
}

// What a link is, judged on the link as listed: passed over (empty, off-site
// while staying on site, or with "@"), a page (a folder, or ending in ".htm"
// or ".htm" and one more character), or a file.
enum class LinkKind { Skip, Page, File };

LinkKind KindOf(const QString &written, bool stayOnsite)
{
    if (written.trimmed().isEmpty() || (stayOnsite && IsWrittenAbsolute(written)))
        return LinkKind::Skip;
    QString entry = written;
    bool isDirectory = false;
    if (!entry.toLower().contains(QLatin1String("parent directory"))) {
        if (!entry.contains(QLatin1Char('/')) && !entry.contains(QLatin1Char('.')))
            entry += QLatin1Char('/');
        isDirectory = entry.endsWith(QLatin1Char('/'));
    }
    if (entry.contains(QLatin1Char('@'))) return LinkKind::Skip;
    const qsizetype htm = entry.toUpper().lastIndexOf(QLatin1String(".HTM"));
    const bool isPage =
        isDirectory || (htm >= 0 && (htm + 4 == entry.size() || htm + 5 == entry.size()));
    return isPage ? LinkKind::Page : LinkKind::File;
}

// The host part of an absolute address, as a folder name: AddressHost's
// host with ":", ";" and "," made "_".
QString HostPart(const QString &address)
{
    QString host = AddressHost(address);
    for (QChar c : {QLatin1Char(':'), QLatin1Char(';'), QLatin1Char(',')})
        host.replace(c, QLatin1Char('_'));
    return host;
}

// An address without its "http://" or "https://": the plain and the secure
// address of one place compare equal in the downward rule.
QString WithoutScheme(const QString &address)
{
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    return scheme >= 0 ? address.mid(scheme + 3) : address;
}

// Runs a step however a scope is left.
class ScopeExit
{
public:
    explicit ScopeExit(std::function<void()> step) : m_step(std::move(step)) {}
    ~ScopeExit() { m_step(); }
    ScopeExit(const ScopeExit &) = delete;
    ScopeExit &operator=(const ScopeExit &) = delete;

private:
    std::function<void()> m_step;
};

} // namespace

Crawler::Crawler(Quarvel &pageFetcher, DownloadListModel &list, DownloadState &downloads,
                 ProgramSettings &settings, const QString &tempFolder, const QString &startStamp,
                 CrawlHost &host, QObject *parent)
    : QObject(parent), m_fetcher(pageFetcher), m_list(list), m_downloads(downloads),
      m_settings(settings), m_tempFolder(tempFolder), m_startStamp(startStamp), m_host(host),
      m_prefetch(tempFolder, startStamp)
{
    connect(&m_fetcher, &Quarvel::Failed, this,
            [this](const QString &reason) { m_fetchFailure = reason; });
    m_prefetch.MayFetch = [this](const QString &address) {
        return !Waits || Waits->MsLeft(address) == 0;
    };
}

void Crawler::SetExtraHeaderLines(const std::function<QList<QByteArray>(const QString &)> &lines)
{
    m_fetcher.SetExtraHeaderLines(lines);
    m_prefetch.ExtraHeaderLines = lines;
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

void Crawler::BeginActivation(const QString &address)
{
    // Counted before anything yields, so that a second start from inside the
    // first yield finds the harvest running.
    ++m_depth;
    m_host.SetDepth(m_depth);
    if (m_depth > 1) return;
    m_startAddress = address;
    m_startFailure.clear();
    m_stopped = false;
    m_harvested = true;
    m_rowAddresses.clear();
    m_visited.clear();
    m_visitedSet.clear();
    m_pagesRead = 0;
    m_rowsAdded = 0;
    m_skipped = 0;
}

void Crawler::EndActivation()
{
    StopPage = false;
    --m_depth;
    m_host.SetDepth(m_depth);
    if (m_depth != 0) return;
    m_prefetch.Clear();
    // A long press of stop ends the harvest early: it says so.
    m_stopped = StopHarvest;
    const LanguageTexts english;
    m_outcome = HarvestText(Progress(), Texts ? *Texts : english);
    m_host.SetDownloadCaption(m_outcome);
    m_host.HarvestEnded();
    if (!m_startFailure.isEmpty() && !m_stopped && StartFailed) StartFailed(m_outcome);
}

void Crawler::WaitFor(const std::function<bool()> &done)
{
    // The page fetch's end wakes the wait at once; the short poll catches
    // the stop flags.
    WaitOptions options;
    options.PollMs = 10;
    options.Wake = [this](QEventLoop &loop) {
        connect(&m_fetcher, &Quarvel::Finished, &loop, &QEventLoop::quit);
        connect(&m_fetcher, &Quarvel::TooSmall, &loop, &QEventLoop::quit);
        connect(&m_fetcher, &Quarvel::Failed, &loop, &QEventLoop::quit);
        connect(&m_prefetch, &PagePrefetch::PageEnded, &loop, &QEventLoop::quit);
    };
    // The program is quitting: the page counts as stopped, and the harvest
    // ends as after a long press of the stop button.
    if (WaitUntil(done, options) == WaitEnd::Quit) {
        StopPage = true;
        StopHarvest = true;
    }
}

Crawler::Page Crawler::FetchThroughBrowser(const QString &address)
{
    Page page;
    QString document;
    m_host.SetBrowserCaption(address);
    const bool loaded = m_host.BrowserFetch(
        address, [this] { return StopPage; }, document, page.Text);
    m_host.SetBrowserCaption(document);
    page.Address = LinkResolver::NormalAddress(document);
    if (StopPage)
        page.Failure = QStringLiteral("stopped");
    else if (!loaded || page.Address.isEmpty())
        page.Failure = QStringLiteral("the page could not be loaded");
    return page;
}

Crawler::Page Crawler::ReadPage(const QString &file, const QString &finalAddress,
                                const QString &type)
{
    Page page;
    QFile pageFile(file);
    const bool opened = pageFile.open(QIODevice::ReadOnly);
    const QByteArray bytes = opened ? pageFile.readAll() : QByteArray();
    pageFile.close();
    QFile::remove(file);
    if (!opened)
        page.Failure = QStringLiteral("the page left no file");
    else if (!IsPageType(type))
        page.Failure = QStringLiteral("not an HTML page (%1)").arg(type);
    else
        page.Text = PageText(bytes, type);
    // A redirected page is the page at its final address.
    page.Address = LinkResolver::NormalAddress(finalAddress);
    return page;
}

Crawler::Page Crawler::FetchAhead(const QString &address)
{
    m_host.SetDownloadCaption(address);
    m_prefetch.MaxRunning = qBound(1, m_downloads.SimultaneousDownloads, 20);
    m_prefetch.MaxAhead = qMax(64, 8 * m_prefetch.MaxRunning);
    m_prefetch.KeepConnections = m_settings.KeepConnections;
    m_prefetch.Request(address);
    WaitFor([this, &address] { return m_prefetch.Ended(address) || StopPage; });
    Page page;
    if (StopPage || !m_prefetch.Ended(address)) {
        // Stopped, also when the page had arrived already (as without
        // fetching ahead): the page and its file go.
        m_prefetch.Drop(address);
        page.Failure = QStringLiteral("stopped");
        return page;
    }
    const PagePrefetch::Result fetched = m_prefetch.Take(address);
    if (!fetched.Done) {
        page.Failure = fetched.Failure;
        page.Status = fetched.Status;
        page.RetryAfter = fetched.RetryAfter;
        return page;
    }
    return ReadPage(fetched.File, fetched.FinalAddress, fetched.ContentType);
}

Crawler::Page Crawler::FetchPage(const QString &address)
{
    if (Options.ViewBrowser) return FetchThroughBrowser(address);
    // The fetch ahead marks an idle fetcher with an empty address, so an
    // empty start address (no working address yet) takes the direct fetch,
    // which fails it at once instead of waiting for it forever.
    if (Prefetch && !address.isEmpty()) return FetchAhead(address);
    // A page still loading from a stopped fetch, and its file, go first, so
    // that this page is never read from a stale file.
    m_fetcher.Cancel();
    QFile::remove(PageFile());
    m_downloads.PageFetched = false;
    m_fetchFailure.clear();
    m_host.SetDownloadCaption(address);
    Page page;
    if (!m_fetcher.StartDownload(address, PageFile(), 0, true, 0, 0, false, QString())) {
        page.Failure = QStringLiteral("the temporary page file cannot be written");
        return page;
    }
    WaitFor([this] { return m_downloads.PageFetched || StopPage || !m_fetchFailure.isEmpty(); });
    if (StopPage || !m_fetchFailure.isEmpty()) {
        page.Failure = StopPage ? QStringLiteral("stopped") : m_fetchFailure;
        page.Status = m_fetcher.StatusCode();
        page.RetryAfter = m_fetcher.RetryAfter();
        m_fetcher.Cancel();
        QFile::remove(PageFile());
        return page;
    }
    return ReadPage(m_fetcher.LocalFile(), m_fetcher.FinalURL(), m_fetcher.ContentType().trimmed());
}

bool Crawler::FollowsPages() const
{
    return m_depth < Options.RecurseIndexDepth || (m_depth == 1 && Options.DoExtraClick);
}

QString Crawler::PageTarget(const QString &pageAddress, const QString &written) const
{
    const QString absolute = m_resolver.ResolveLink(pageAddress, written);
    if (absolute.isEmpty() || pageAddress == absolute ||
        (Options.JustGoDown && WithoutScheme(pageAddress).startsWith(WithoutScheme(absolute))))
        return {};
    return absolute;
}

QStringList Crawler::PageCandidates(const QStringList &links, QString pageAddress,
                                    const QString &base) const
{
    // The walk below, without its rows and without going down: the page
    // address turns into the base at the first relative file link here too.
    QStringList candidates;
    if (!FollowsPages()) return candidates;
    QSet<QString> seen;
    for (const QString &written : links) {
        const LinkKind kind = KindOf(written, Options.StayOnsite);
        if (kind == LinkKind::File && !IsWrittenAbsolute(written) && !base.isEmpty())
            pageAddress = base;
        if (kind != LinkKind::Page) continue;
        const QString absolute = PageTarget(pageAddress, written);
        if (absolute.isEmpty() || m_visitedSet.contains(absolute) || seen.contains(absolute))
            continue;
        seen.insert(absolute);
        candidates.append(absolute);
    }
    return candidates;
}

bool Crawler::Visit(const QString &absolute)
{
    if (m_visitedSet.contains(absolute)) return false;
    m_visitedSet.insert(absolute);
    m_visited.append(absolute);
    return true;
}

void Crawler::GetAllFiles(const QString &address)
{
    BeginActivation(address);
    const ScopeExit end([this] { EndActivation(); });
    QCoreApplication::processEvents();
    if (StopHarvest) {
        m_prefetch.Clear();
        return;
    }
    const QString stamp = QTime::currentTime().toString(QStringLiteral("hhmmss"));
    Page fetched = FetchWaitingForServer(address);
    if (fetched.Failure.isEmpty() && fetched.Address.isEmpty())
        fetched.Failure = QStringLiteral("the page has no usable address");
    if (!fetched.Failure.isEmpty()) {
        if (m_depth == 1) m_startFailure = fetched.Failure;
        return;
    }
    ++m_pagesRead;
    QString pageAddress = fetched.Address;
    const PageLinks page = HTML_GetAllURLs(
        fetched.Text, [] { QCoreApplication::processEvents(); }, m_settings.ModernPictures);
    fetched.Text.clear();
    if (m_depth == 1) {
        m_visited = QStringList{pageAddress};
        m_visitedSet = QSet<QString>{pageAddress};
    }
    // A relative base counts from the page's own address ("/" is common).
    const QString base = page.BaseAddress.trimmed().isEmpty()
                             ? QString()
                             : m_resolver.ResolveLink(pageAddress, page.BaseAddress);
    if (Prefetch && !Options.ViewBrowser && !StopHarvest)
        m_prefetch.Want(PageCandidates(page.Links, pageAddress, base));
    for (qsizetype index = 0; index < page.Links.size(); ++index) {
        QCoreApplication::processEvents();
        // After a long stop press no page is opened any more.
        if (StopHarvest && m_prefetch.Pending() > 0) m_prefetch.Clear();
        const QString written = page.Links.at(index);
        const LinkKind kind = KindOf(written, Options.StayOnsite);
        if (kind == LinkKind::Skip) continue;
        if (kind == LinkKind::Page) {
            if (!FollowsPages()) continue;
            const QString absolute = PageTarget(pageAddress, written);
            if (absolute.isEmpty() || !Visit(absolute)) continue;
            GetAllFiles(absolute);
            continue;
        }

        // A file link; a base address counts for this and every later link.
        if (!IsWrittenAbsolute(written) && !base.isEmpty()) pageAddress = base;
        const QString absolute = m_resolver.ResolveLink(pageAddress, written);
        if (absolute.isEmpty()) continue;
        const QString host = HostPart(absolute);
        QString fileName = absolute.mid(absolute.lastIndexOf(QLatin1Char('/')) + 1);
        if (fileName.isEmpty()) continue;
        if (!IsFileType(fileName, Filters) || !MatchesPattern(fileName, Filters.SearchPatterns))
            continue;
        // One row per file address within one harvest.
        if (m_rowAddresses.contains(absolute)) continue;
        m_rowAddresses.insert(absolute);
        if (m_settings.SkipDownloaded && Archive && Archive->Contains(absolute)) {
            ++m_skipped;
            continue;
        }
        AddRow(absolute, host, fileName, stamp, address);
    }
}

void Crawler::AddRow(const QString &absolute, const QString &host, const QString &fileName,
                     const QString &stamp, const QString &referer)
{
    RepaintLock repaint(m_list);
    ListBusyLock busy(m_downloads);
    if (!busy) return;
    m_host.RowAdded();
    ++m_rowsAdded;
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

HarvestProgress Crawler::Progress() const
{
    HarvestProgress p;
    p.Pages = m_pagesRead;
    p.Files = m_rowsAdded;
    p.StartAddress = m_startAddress;
    p.Failure = m_startFailure;
    p.Skipped = m_skipped;
    using Stage = HarvestProgress::Stage;
    if (m_depth > 0)
        p.State = Stage::Running;
    else if (!m_harvested)
        p.State = Stage::None;
    else if (m_stopped)
        p.State = Stage::Stopped;
    else
        p.State = m_startFailure.isEmpty() ? Stage::Finished : Stage::Failed;
    return p;
}

// The stage's own text, before the count of skipped addresses.
static QString harvestStageText(const HarvestProgress &progress, const LanguageTexts &texts)
{
    using Stage = HarvestProgress::Stage;
    switch (progress.State) {
    case Stage::None:
        return QString();
    case Stage::Running:
        return texts
            .Text(QStringLiteral("HARVESTRUNNING"),
                  QStringLiteral("harvest: %1 pages, %2 files so far"))
            .arg(progress.Pages)
            .arg(progress.Files);
    case Stage::Finished:
        return texts
            .Text(QStringLiteral("HARVESTFINISHED"),
                  QStringLiteral("finished harvest: %1 pages, %2 files"))
            .arg(progress.Pages)
            .arg(progress.Files);
    case Stage::Stopped:
        return texts
            .Text(QStringLiteral("HARVESTSTOPPED"),
                  QStringLiteral("stopped harvest: %1 pages, %2 files"))
            .arg(progress.Pages)
            .arg(progress.Files);
    case Stage::Failed:
        return texts.Text(QStringLiteral("HARVESTFAILED"), QStringLiteral("%1: %2"))
            .arg(progress.StartAddress, LocalReason(progress.Failure, texts));
    }
    return QString();
}

QString HarvestText(const HarvestProgress &progress, const LanguageTexts &texts)
{
    using Stage = HarvestProgress::Stage;
    QString text = harvestStageText(progress, texts);
    if (progress.Skipped > 0 && progress.State != Stage::Failed && progress.State != Stage::None)
        text += QStringLiteral(", ") +
                texts.Text(QStringLiteral("HARVESTSKIPPED"),
                           QStringLiteral("%1 downloaded before (skipped)"))
                    .arg(progress.Skipped);
    return text;
}
