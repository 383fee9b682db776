#pragma once

#include <QString>
#include <QtGlobal>

class DownloadListModel;
class LanguageTexts;

// The download list counted by state, for the status line under it.
struct ListTally {
    int Total = 0;
    int Done = 0;
    int Failed = 0;
    int TooSmall = 0;
    int Running = 0;
    int Waiting = 0;
    // Bytes the running rows of known size still need, and their sizes.
    qint64 RunningLeft = 0;
    qint64 RunningBytes = 0;
    int RunningSized = 0;
    // Bytes of the finished rows, for the size a waiting row may have.
    qint64 DoneBytes = 0;

    // Counts every row once: a plain pass over the cells, cheap enough for
    // tens of thousands of rows a few times a second.
    static ListTally Of(const DownloadListModel &list);
};

// The overall progress of the downloads as the status line shows it:
// "N of M done · K failed · S too small · speed · time left". The speed is
// measured from the total of received bytes the engine counts.
class ProgressLine
{
public:
    // Takes the engine's byte total at a moment (milliseconds of a steady
    // clock); the speed follows the last few seconds.
    void Sample(qint64 receivedBytes, qint64 msecs);
    double BytesPerSecond() const { return m_speed; }

    // The line for a tally at a speed; empty for an empty list. Speed and
    // time left show only while rows run.
    static QString Text(const ListTally &tally, double bytesPerSecond, const LanguageTexts &texts);
    // "512 B", "12.5 KB", "3.2 MB", "1.1 GB".
    static QString Bytes(double bytes);
    // "45 s", "3:05", "1:02:07".
    static QString Duration(qint64 seconds);

private:
    qint64 m_lastBytes = -1;
    qint64 m_lastMsecs = 0;
    double m_speed = 0;
};
