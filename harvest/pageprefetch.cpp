#include "pageprefetch.h"

#include "programfolder.h"
#include "quarvel.h"

#include <QFile>

PagePrefetch::PagePrefetch(const QString &tempFolder, const QString &stamp, QObject *parent)
    : QObject(parent), m_tempFolder(tempFolder), m_stamp(stamp)
{
}

PagePrefetch::~PagePrefetch()
{
    Clear();
}

int PagePrefetch::Running() const
{
    int running = 0;
    for (const QString &address : m_serving)
        if (!address.isEmpty()) ++running;
    return running;
}

void PagePrefetch::Want(const QStringList &addresses)
{
    // Pushed in reverse, so that the first address is on top of the stack.
    // An address wanted again moves up: its older stack place goes stale.
    for (qsizetype i = addresses.size() - 1; i >= 0; --i) {
        const QString &address = addresses.at(i);
        auto found = m_entries.find(address);
        if (found == m_entries.end()) found = m_entries.insert(address, Entry());
        if (found->state != Entry::State::Queued) continue;
        found->queuedAt = ++m_queueCount;
        m_stack.push_back({address, found->queuedAt});
    }
    StartNext();
}

void PagePrefetch::Request(const QString &address)
{
    auto found = m_entries.find(address);
    if (found == m_entries.end()) found = m_entries.insert(address, Entry());
    m_awaited = address;
    // The page the crawl waits for starts even when every other fetch runs.
    if (found->state == Entry::State::Queued) Start(address, *found);
}

bool PagePrefetch::Ended(const QString &address) const
{
    const auto found = m_entries.constFind(address);
    return found != m_entries.constEnd() && found->state == Entry::State::Ended;
}

PagePrefetch::Result PagePrefetch::Take(const QString &address)
{
    const auto found = m_entries.find(address);
    if (found == m_entries.end() || found->state != Entry::State::Ended) return Result();
    const Result result = found->result;
    --m_ended;
    m_entries.erase(found);
    // No StartNext here: the crawl reads the page and names its links next
    // (Want), which go before the pages queued earlier; starting one of those
    // now would ask the server out of the crawl's order.
    if (address == m_awaited) m_awaited.clear();
    else StartNext();
    return result;
}

void PagePrefetch::Drop(const QString &address)
{
    const auto found = m_entries.find(address);
    if (found == m_entries.end()) return;
    if (found->state == Entry::State::Running) {
        m_fetchers[found->fetcher]->Cancel();
        m_serving[found->fetcher].clear();
        QFile::remove(m_fetchers[found->fetcher]->LocalFile());
    } else if (found->state == Entry::State::Ended) {
        --m_ended;
        QFile::remove(found->result.File);
    }
    m_entries.erase(found);
    StartNext();
}

void PagePrefetch::Clear()
{
    for (std::size_t i = 0; i < m_fetchers.size(); ++i) {
        if (m_serving[i].isEmpty()) continue;
        m_fetchers[i]->Cancel();
        m_serving[i].clear();
        QFile::remove(m_fetchers[i]->LocalFile());
    }
    for (const Entry &entry : std::as_const(m_entries))
        if (entry.state == Entry::State::Ended) QFile::remove(entry.result.File);
    m_entries.clear();
    m_stack.clear();
    m_ended = 0;
    m_awaited.clear();
}

void PagePrefetch::StartNext()
{
    while (!m_stack.empty() && Running() < MaxRunning && Running() + m_ended < MaxAhead) {
        const auto [address, queuedAt] = m_stack.back();
        m_stack.pop_back();
        const auto found = m_entries.find(address);
        if (found == m_entries.end() || found->state != Entry::State::Queued ||
            found->queuedAt != queuedAt || (MayFetch && !MayFetch(address)))
            continue;
        Start(address, *found);
    }
}

int PagePrefetch::FreeFetcher()
{
    for (std::size_t i = 0; i < m_fetchers.size(); ++i)
        if (m_serving[i].isEmpty()) return int(i);
    const int index = int(m_fetchers.size());
    auto fetcher = std::make_unique<Quarvel>();
    fetcher->SetExtraHeaderLines([this](const QString &address) {
        return ExtraHeaderLines ? ExtraHeaderLines(address) : QList<QByteArray>();
    });
    connect(fetcher.get(), &Quarvel::Finished, this, [this, index] { FetchEnded(index, {}); });
    connect(fetcher.get(), &Quarvel::TooSmall, this,
            [this, index] { FetchEnded(index, QStringLiteral("too small")); });
    connect(fetcher.get(), &Quarvel::Failed, this,
            [this, index](const QString &reason) { FetchEnded(index, reason); });
    m_fetchers.push_back(std::move(fetcher));
    m_serving.emplace_back();
    return index;
}

void PagePrefetch::Start(const QString &address, Entry &entry)
{
    const int fetcher = FreeFetcher();
    const QString file =
        ProgramFolder::Join(m_tempFolder, m_stamp + QStringLiteral("_%1.html").arg(++m_fileNumber));
    QFile::remove(file);
    entry.state = Entry::State::Running;
    entry.fetcher = fetcher;
    m_serving[fetcher] = address;
    m_fetchers[fetcher]->SetKeepConnections(KeepConnections);
    if (!m_fetchers[fetcher]->StartDownload(address, file, 0, true, 0, 0, false, QString())) {
        m_serving[fetcher].clear();
        entry.state = Entry::State::Ended;
        entry.result.Failure = QStringLiteral("the temporary page file cannot be written");
        ++m_ended;
        emit PageEnded();
    }
}

void PagePrefetch::FetchEnded(int fetcher, const QString &failure)
{
    const QString address = m_serving[fetcher];
    if (address.isEmpty()) return;
    m_serving[fetcher].clear();
    Quarvel &control = *m_fetchers[fetcher];
    const auto found = m_entries.find(address);
    if (found != m_entries.end() && found->state == Entry::State::Running) {
        Result &result = found->result;
        result.Done = failure.isEmpty();
        result.Failure = failure;
        result.FinalAddress = control.FinalURL();
        result.ContentType = control.ContentType().trimmed();
        result.File = control.LocalFile();
        result.Status = control.StatusCode();
        result.RetryAfter = control.RetryAfter();
        if (!result.Done) QFile::remove(result.File);
        found->state = Entry::State::Ended;
        ++m_ended;
    }
    // The fetcher of the page the crawl waits for goes to the page its links
    // name next (see Take); any other ended fetch takes the next page now.
    if (address != m_awaited) StartNext();
    emit PageEnded();
}
