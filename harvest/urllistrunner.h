#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <functional>

class Crawler;
class UrlListModel;
struct DownloadState;

// The URL-list runner: harvests the selected URL-list rows one after the
// other into the download list, each with the file types and name patterns
// stored in its row, until the list ends or the stop-filling request is set.
class UrlListRunner : public QObject
{
    Q_OBJECT
public:
    UrlListRunner(UrlListModel &urls, Crawler &crawler, DownloadState &state,
                  QObject *parent = nullptr);

    // The text colour of a row once it has been taken.
    QColor TakenColor = QColor(Qt::gray);
    // Remembers a row's address as a start address of this run.
    std::function<void(const QString &)> AddStartAddress;
    // Puts the options window's own filters back in force after the run.
    std::function<void()> RestoreFilters;

    // Runs over the list; true when the stop-filling request ended it.
    bool Run();
    bool IsRunning() const { return m_running; }

private:
    void CrawlRow(int row);

    UrlListModel &m_urls;
    Crawler &m_crawler;
    DownloadState &m_state;
    bool m_running = false;
};
