#pragma once

#include "filefilters.h"
#include "harvestoptions.h"
#include "linkresolver.h"

#include <QObject>
#include <QString>
#include <QStringList>

class CrawlHost;
class DownloadListModel;
class Quarvel;
struct DownloadState;
struct ProgramSettings;

// The site crawl: fetches a page, extracts its links, follows the page links
// depth first down to the chosen depth and turns every file link that passes
// the filters into a new row of the download list.
class Crawler : public QObject
{
    Q_OBJECT
public:
    // pageFetcher is the transfer control reserved for pages (instance 0);
    // tempFolder holds the temporary page file named after startStamp.
    Crawler(Quarvel &pageFetcher, DownloadListModel &list, DownloadState &downloads,
            ProgramSettings &settings, const QString &tempFolder, const QString &startStamp,
            CrawlHost &host, QObject *parent = nullptr);

    HarvestOptions Options;
    FileFilters Filters;
    // The minimum file size as typed (kilobytes), read when a row is written.
    QString MinFileSizeText = QStringLiteral("10");
    bool StopHarvest = false; // ends the harvest after the open pages' links
    bool StopPage = false;    // skips the page being fetched

    // Starts a harvest of address; false (nothing done) while one runs.
    bool StartHarvest(const QString &address);
    // One page and everything below it.
    void GetAllFiles(const QString &address);

    int Depth() const { return m_depth; }
    const QStringList &Visited() const { return m_visited; }
    QString PageFile() const;

private:
    // Fetches the page; false when it is to be passed over. pageAddress is the
    // address links resolve against.
    bool FetchPage(const QString &address, QString &pageAddress, QString &text);
    void AddRow(const QString &absolute, const QString &host, const QString &fileName,
                const QString &stamp, const QString &referer);
    void WaitFor(const std::function<bool()> &done);

    Quarvel &m_fetcher;
    DownloadListModel &m_list;
    DownloadState &m_downloads;
    ProgramSettings &m_settings;
    QString m_tempFolder;
    QString m_startStamp;
    CrawlHost &m_host;
    LinkResolver m_resolver;
    int m_depth = 0;
    QStringList m_visited;
    bool m_pageFailed = false;
};
