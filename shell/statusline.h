#pragma once

#include "progressline.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class Crawler;
class DownloadEngine;
class DownloadListModel;
class LanguageTexts;
class QLabel;

// Keeps the download window's status line up to date: the harvest's state
// and the downloads' overall progress, refreshed a few times a second and
// only while something changes or runs.
class StatusLine : public QObject
{
    Q_OBJECT
public:
    StatusLine(QLabel &label, DownloadListModel &list, DownloadEngine &engine,
               const Crawler &crawler, const LanguageTexts &texts, QObject *parent = nullptr);

    // The line as it stands now (also shown at once).
    QString Refresh();

    static constexpr int IntervalMs = 400;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Tick();

    QLabel &m_label;
    DownloadListModel &m_list;
    DownloadEngine &m_engine;
    const Crawler &m_crawler;
    const LanguageTexts &m_texts;
    ProgressLine m_progress;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_dirty = true;
    bool m_busy = false;
    bool m_harvesting = false;
};
