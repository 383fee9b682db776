#include "harvestfeed.h"

#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"

#include <QTimer>

HarvestFeed::HarvestFeed(DownloadEngine &engine, DownloadListModel &list, DownloadState &state,
                         QObject *parent)
    : QObject(parent), m_engine(engine), m_list(list), m_state(state)
{
    connect(&engine, &DownloadEngine::GroupFreed, this, [this] { Schedule(); });
    connect(&list, &QAbstractItemModel::rowsInserted, this, [this] { Schedule(); });
}

void HarvestFeed::Begin()
{
    m_active = true;
    Schedule();
}

void HarvestFeed::End()
{
    m_active = false;
}

void HarvestFeed::Restart(const QList<int> &rows)
{
    for (int row : rows)
        m_restarts.append(QPersistentModelIndex(m_list.index(row - 1, 0)));
    Schedule();
}

void HarvestFeed::Schedule(int delayMs)
{
    if ((!m_active && m_restarts.isEmpty()) || m_scheduled) return;
    m_scheduled = true;
    QTimer::singleShot(delayMs, this, &HarvestFeed::Feed);
}

void HarvestFeed::Feed()
{
    m_scheduled = false;
    if (m_state.StopRequested) m_restarts.clear();
    if ((!m_active && m_restarts.isEmpty()) || m_state.StopRequested) return;
    // A pass yields: what runs meanwhile may ask for another, and the list may
    // be held by someone adding rows. Such a pass comes a little later.
    if (m_feeding || m_state.ListBusy) {
        Schedule(RetryMs);
        return;
    }
    m_feeding = true;
    // Rows handed over for a restart first, in their order, while groups
    // are free; then the waiting rows.
    while (!m_restarts.isEmpty()) {
        const QPersistentModelIndex row = m_restarts.first();
        if (row.isValid() && !m_engine.StartRow(row.row() + 1)) break;
        m_restarts.removeFirst();
    }
    if (m_active) m_engine.DownloadFilesFromLV(false, false);
    m_feeding = false;
}
