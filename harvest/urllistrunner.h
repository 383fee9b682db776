#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <functional>

class Crawler;
class HarvestSession;
class UrlListModel;
struct DownloadState;

// The URL-list runner: harvests the selected URL-list rows one after the
// other into the download list, each with the file types and name patterns
// stored in its row, until the list ends or the stop-filling request is set.
// The whole run is one harvest session, so a start command given during it
// is taken over until the run has ended.
class UrlListRunner : public QObject
{
    Q_OBJECT
public:
    UrlListRunner(UrlListModel &urls, Crawler &crawler, DownloadState &state,
                  HarvestSession &session, QObject *parent = nullptr);

    // The text colour of a row once it has been taken.
    QColor TakenColor = QColor(Qt::gray);
    // Remembers a row's address as a start address of this run.
    std::function<void(const QString &)> AddStartAddress;

    enum class Outcome {
        Finished, // every selected row was crawled
        Stopped,  // the stop-filling request (or the program's end) ended it
        Refused,  // a harvest was running: nothing was done
    };
    // Runs over the list.
    Outcome Run();
    bool IsRunning() const { return m_running; }

private:
    // Crawls one row; false when the run must end before it.
    bool CrawlRow(int row);

    UrlListModel &m_urls;
    Crawler &m_crawler;
    DownloadState &m_state;
    HarvestSession &m_session;
    bool m_running = false;
};
