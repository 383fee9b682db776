#include "statusline.h"

#include "crawler.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"

#include <QLabel>
#include <QStringList>

StatusLine::StatusLine(QLabel &label, DownloadListModel &list, DownloadEngine &engine,
                       const Crawler &crawler, const LanguageTexts &texts, QObject *parent)
    : QObject(parent), m_label(label), m_list(list), m_engine(engine), m_crawler(crawler),
      m_texts(texts)
{
    m_clock.start();
    // Changes only mark the line; the timer redraws it at most a few times a
    // second, however many cells change.
    const auto mark = [this] { m_dirty = true; };
    connect(&list, &QAbstractItemModel::dataChanged, this, mark);
    connect(&list, &QAbstractItemModel::rowsInserted, this, mark);
    connect(&list, &QAbstractItemModel::rowsRemoved, this, mark);
    connect(&list, &QAbstractItemModel::modelReset, this, mark);
    connect(&list, &QAbstractItemModel::layoutChanged, this, mark);
    connect(&m_timer, &QTimer::timeout, this, &StatusLine::Tick);
    m_timer.start(IntervalMs);
}

void StatusLine::Tick()
{
    // While transfers or a harvest run the speed and the counts move even
    // when no cell changed since the last tick.
    if (m_dirty || m_busy || m_crawler.Depth() > 0) Refresh();
}

QString StatusLine::Refresh()
{
    m_dirty = false;
    m_progress.Sample(m_engine.BytesReceived(), m_clock.elapsed());
    const ListTally tally = ListTally::Of(m_list);
    m_busy = tally.Running > 0;
    QStringList parts;
    // A running harvest always shows; an ended one until downloads run (the
    // window's title keeps its outcome), so that the line stays short.
    const HarvestProgress harvest = m_crawler.Progress();
    if (harvest.State == HarvestProgress::Stage::Running || !m_busy)
        parts << HarvestText(harvest, m_texts);
    parts.removeAll(QString());
    const QString downloads = ProgressLine::Text(tally, m_progress.BytesPerSecond(), m_texts);
    if (!downloads.isEmpty()) parts << downloads;
    const QString line = parts.join(QStringLiteral("  |  "));
    if (m_label.text() != line) {
        m_label.setText(line);
        m_label.setToolTip(line);
    }
    return line;
}
