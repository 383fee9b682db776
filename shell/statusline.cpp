#include "statusline.h"

#include "crawler.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"

#include <QEvent>
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
    // A resized line is cut anew at the next tick.
    label.installEventFilter(this);
}

bool StatusLine::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) m_dirty = true;
    return QObject::eventFilter(watched, event);
}

void StatusLine::Tick()
{
    // While transfers or a harvest run the speed and the counts move even
    // when no cell changed since the last tick.
    // The tick after a harvest's end shows how it ended.
    if (m_dirty || m_busy || m_harvesting || m_crawler.Depth() > 0) Refresh();
}

QString StatusLine::Refresh()
{
    m_dirty = false;
    m_progress.Sample(m_engine.BytesReceived(), m_clock.elapsed());
    const ListTally tally = ListTally::Of(m_list);
    m_busy = tally.Running > 0;
    // A running harvest comes first; an ended one follows the downloads'
    // counts, and only while no download runs (the window's title keeps its
    // outcome), so that what matters stays visible on a narrow window.
    const HarvestProgress harvest = m_crawler.Progress();
    m_harvesting = harvest.State == HarvestProgress::Stage::Running;
    QStringList parts;
    if (m_harvesting) parts << HarvestText(harvest, m_texts);
    parts << ProgressLine::Text(tally, m_progress.BytesPerSecond(), m_texts);
    if (!m_harvesting && !m_busy) parts << HarvestText(harvest, m_texts);
    parts.removeAll(QString());
    const QString line = parts.join(QStringLiteral("  |  "));
    // A line wider than the window ends in "…"; the tooltip holds it whole.
    const QString shown =
        m_label.fontMetrics().elidedText(line, Qt::ElideRight, qMax(1, m_label.width()));
    if (m_label.text() != shown) m_label.setText(shown);
    if (m_label.toolTip() != line) m_label.setToolTip(line);
    return line;
}
