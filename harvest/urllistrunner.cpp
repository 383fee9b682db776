#include "urllistrunner.h"

#include "crawler.h"
#include "downloadstate.h"
#include "urllistmodel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

UrlListRunner::UrlListRunner(UrlListModel &urls, Crawler &crawler, DownloadState &state,
                             QObject *parent)
    : QObject(parent), m_urls(urls), m_crawler(crawler), m_state(state)
{
}

bool UrlListRunner::Run()
{
    if (m_running) return false;
    m_running = true;
    // A stop left over from an earlier harvest must not end this one.
    m_state.StopFilling = false;
    m_crawler.StopHarvest = false;
    m_crawler.StopPage = false;

    // Rows removed while a crawl runs move the rows still to come.
    int i = 1;
    const auto removed = connect(&m_urls, &QAbstractItemModel::rowsRemoved, this,
                                 [&i](const QModelIndex &, int first, int last) {
                                     const int a = first + 1, b = last + 1;
                                     if (i > b)
                                         i -= b - a + 1;
                                     else if (i >= a)
                                         i = a;
                                 });
    const auto compacted =
        connect(&m_urls, &ListModel::positionsRemoved, this, [&i](const QList<int> &positions) {
            i = ListModel::PositionAfterRemoval(i, positions);
        });
    while (!m_state.StopFilling && i <= m_urls.count() && !QCoreApplication::closingDown()) {
        QCoreApplication::processEvents();
        if (m_state.StopFilling || i > m_urls.count()) break;
        if (m_urls.isSelected(i)) {
            const int row = i;
            CrawlRow(row);
            // The crawl may have removed rows before this one: i followed them.
            if (i < row) continue;
        }
        ++i;
    }
    disconnect(removed);
    disconnect(compacted);
    if (RestoreFilters) RestoreFilters();
    m_running = false;
    return m_state.StopFilling;
}

void UrlListRunner::CrawlRow(int row)
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

    // One harvest at a time: a harvest the options window started ends first.
    while (m_crawler.Depth() > 0 && !m_state.StopFilling && !QCoreApplication::closingDown()) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (m_state.StopFilling) return;
    QCoreApplication::processEvents();
    m_crawler.StartHarvest(address);
}
