#pragma once

#include <QObject>

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
    // No more rows start through the feed.
    void End();
    bool Active() const { return m_active; }

private:
    // Schedules a pass from the event loop (never inside a list change or a
    // transfer event, whose rows may not be complete yet).
    void Schedule(int delayMs = 0);
    void Feed();

    static constexpr int RetryMs = 20;
    DownloadEngine &m_engine;
    DownloadState &m_state;
    bool m_active = false;
    bool m_scheduled = false;
    bool m_feeding = false;
};
