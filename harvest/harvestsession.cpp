#include "harvestsession.h"

#include "crawler.h"
#include "downloadengine.h"
#include "downloadstate.h"
#include "harvestfeed.h"

#include <QPersistentModelIndex>

HarvestSession::HarvestSession(Crawler &crawler, DownloadState &state, QObject *parent)
    : QObject(parent), m_crawler(crawler), m_state(state)
{
}

HarvestSession::~HarvestSession() = default;

void HarvestSession::AttachDownloads(DownloadEngine &engine, DownloadListModel &list)
{
    m_engine = &engine;
    m_feed = std::make_unique<HarvestFeed>(engine, list, m_state);
}

bool HarvestSession::Open()
{
    if (m_open || m_crawler.Depth() > 0) return false;
    m_open = true;
    m_passOwed = false;
    m_filters = m_crawler.Filters;
    // A pass running now would stand still under the crawl until it ends:
    // the feed starts the new rows meanwhile.
    if (m_feed && m_engine->PassRunning()) m_feed->Begin();
    return true;
}

void HarvestSession::Close()
{
    if (!m_open) return;
    m_open = false;
    if (RestoreFilters)
        RestoreFilters();
    else
        m_crawler.Filters = m_filters;
    if (!m_feed) return;
    m_feed->End();
    if (!m_passOwed) return;
    m_passOwed = false;
    if (!m_state.StopRequested) m_engine->DownloadFilesFromLV(false);
}

bool HarvestSession::TakeStart(bool restart, const QList<int> &rows)
{
    if (!m_open || !m_feed) return false;
    if (restart) {
        m_feed->Restart(rows);
        return true;
    }
    m_passOwed = true;
    m_feed->Begin();
    return true;
}
