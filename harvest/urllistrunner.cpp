#include "urllistrunner.h"

#include "crawler.h"
#include "downloadstate.h"
#include "harvestsession.h"
#include "rowcursor.h"
#include "urllistmodel.h"
#include "wait.h"

#include <QCoreApplication>

UrlListRunner::UrlListRunner(UrlListModel &urls, Crawler &crawler, DownloadState &state,
                             HarvestSession &session, QObject *parent)
    : QObject(parent), m_urls(urls), m_crawler(crawler), m_state(state), m_session(session)
{
}

UrlListRunner::Outcome UrlListRunner::Run()
{
    if (m_running) return Outcome::Refused;
    // One harvest at a time, and never one inside another's crawl: the run
    // would wait for a harvest that cannot end before the run returns.
    HarvestSession::Scope session(m_session);
    if (!session) return Outcome::Refused;
    m_running = true;
    // A stop left over from an earlier harvest must not end this one.
    m_state.StopFilling = false;
    m_crawler.StopHarvest = false;
    m_crawler.StopPage = false;

    // The place in the list follows rows inserted or removed meanwhile, also
    // when the row being crawled is removed.
    RowCursor cursor(m_urls, 0);
    bool ended = false;
    while (!m_state.StopFilling && !QuitRequested()) {
        QCoreApplication::processEvents();
        const int row = cursor.Next();
        if (m_state.StopFilling || row > m_urls.count()) break;
        cursor.Passed(row);
        if (m_urls.isSelected(row) && !CrawlRow(row)) {
            ended = true;
            break;
        }
    }
    m_running = false;
    return m_state.StopFilling || ended || QuitRequested() ? Outcome::Stopped : Outcome::Finished;
}

bool UrlListRunner::CrawlRow(int row)
{
    const QString fileTypes = m_urls.subItem(row, UrlListModel::ColFileTypes);
    const QString patterns = m_urls.subItem(row, UrlListModel::ColFilePattern);
    const QString address = m_urls.text(row);
    FileFilters &filters = m_crawler.Filters;
    filters.ApplyUrlListRow(fileTypes, patterns);
    // The typed-types switch follows the row's own flag while it is crawled.
    const QStringList flags = fileTypes.split(QLatin1Char(';'));
    if (flags.size() > FileFilters::ManualTypeBox + 1)
        filters.ManualTypesOn = flags.at(FileFilters::ManualTypeBox) != QLatin1String("0");
    if (AddStartAddress) AddStartAddress(address);
    m_urls.setRowColor(row, TakenColor);

    // The session keeps other harvests out; a crawl still running here could
    // only be one further down the stack, which cannot end before this
    // returns: the run ends instead of waiting for it.
    WaitOptions options;
    options.OuterFrame = [this] { return m_crawler.Depth() > 0; };
    if (WaitUntil([this] { return m_crawler.Depth() == 0; }, options) != WaitEnd::Done)
        return false;
    // The last look before the request: a stop pressed meanwhile sends none.
    QCoreApplication::processEvents();
    if (m_state.StopFilling || QuitRequested()) return false;
    m_crawler.StartHarvest(address);
    return !QuitRequested();
}
