#pragma once

#include "filefilters.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>

class Crawler;
class DownloadEngine;
class DownloadListModel;
class HarvestFeed;
struct DownloadState;

// One harvest from its start to its end, whichever place starts it: the
// options window's start button (and the browser's download button, which
// presses it) and the URL-list runner, whose session spans all its rows.
// A session is opened and closed at crawl depth 0, never inside a crawl.
//
// It owns what a harvest owes the downloads: the feed that starts rows while
// the crawl adds them, the full pass promised to a start command given
// during the harvest, and the filters that were in force when it opened.
// Closing it ends the feed, puts the filters back and runs the pass owed, so
// after the harvest nothing (a list load, a clipboard capture) starts rows
// by itself.
class HarvestSession : public QObject
{
    Q_OBJECT
public:
    HarvestSession(Crawler &crawler, DownloadState &state, QObject *parent = nullptr);
    ~HarvestSession() override;

    // The scheduler whose start commands a running harvest takes over.
    void AttachDownloads(DownloadEngine &engine, DownloadListModel &list);
    // Puts the filters back when the session closes (the options window
    // reads its boxes again, which the user may have changed meanwhile).
    // Without it the filters in force at the opening come back.
    std::function<void()> RestoreFilters;

    // Opens a session: false, and nothing changes, while one is open or a
    // crawl runs. A scheduler pass already running goes on through the feed.
    bool Open();
    // Ends the session: the feed stops taking new rows, the filters come
    // back, and the pass owed runs (after a stop request, none does).
    void Close();
    bool IsOpen() const { return m_open; }

    // A start command given while the session is open: true when the
    // session took it over. "start all" (restart false) turns the feed on
    // and is owed the full pass at the end; a restart of the selected rows
    // hands those rows to the feed, which restarts them as groups free.
    bool TakeStart(bool restart, const QList<int> &rows);

    // Opens a session for a scope and closes it however the scope is left.
    class Scope
    {
    public:
        explicit Scope(HarvestSession &session) : m_session(session), m_opened(session.Open()) {}
        ~Scope()
        {
            if (m_opened) m_session.Close();
        }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
        // False when another harvest was running: nothing may start.
        explicit operator bool() const { return m_opened; }

    private:
        HarvestSession &m_session;
        bool m_opened;
    };

private:
    Crawler &m_crawler;
    DownloadState &m_state;
    DownloadEngine *m_engine = nullptr;
    std::unique_ptr<HarvestFeed> m_feed;
    FileFilters m_filters;
    bool m_open = false;
    bool m_passOwed = false;
};
