#pragma once

#include <QList>
#include <QObject>
#include <QPersistentModelIndex>

class DownloadEngine;
class DownloadListModel;
struct DownloadState;

// Lets the scheduler start download rows while a harvest still adds them.
// The crawl and the scheduler's pass both wait in the event loop; run one
// inside the other and the outer one stands still until the inner one ends.
// So while the feed is on, the scheduler never waits inside the harvest:
// each new row and each freed group is answered (from the event loop) by a
// pass that starts what free groups can take and then returns.
class HarvestFeed : public QObject
{
    Q_OBJECT
public:
    HarvestFeed(DownloadEngine &engine, DownloadListModel &list, DownloadState &state,
                QObject *parent = nullptr);

    // Rows start as they come from now on.
    void Begin();
    // No more rows start through the feed (rows handed over for a restart
    // still restart as groups free).
    void End();
    bool Active() const { return m_active; }
    // Restarts these rows (positions) as groups free, whatever their state,
    // each once; rows a group serves already, and rows removed meanwhile,
    // are passed over.
    void Restart(const QList<int> &rows);

private:
    // Schedules a pass from the event loop (never inside a list change or a
    // transfer event, whose rows may not be complete yet).
    void Schedule(int delayMs = 0);
    void Feed();

    static constexpr int RetryMs = 20;
    DownloadEngine &m_engine;
    DownloadListModel &m_list;
    DownloadState &m_state;
    QList<QPersistentModelIndex> m_restarts;
    bool m_active = false;
    bool m_scheduled = false;
    bool m_feeding = false;
};
