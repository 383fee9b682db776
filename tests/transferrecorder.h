#pragma once

#include "quarvel.h"

#include <QStringList>
#include <QTest>

// Records every event of one Quarvel as a line of text ("Started",
// "Progress 4 10", "Header 200| bytes| image/jpeg| 10|ref", "TooSmall",
// "Finished", "Failed <reason>") so tests can compare whole sequences.
class TransferRecorder
{
public:
    explicit TransferRecorder(Quarvel &q)
    {
        QObject::connect(&q, &Quarvel::Started, [this] { events << QStringLiteral("Started"); });
        QObject::connect(&q, &Quarvel::Progress, [this](qint64 loaded, qint64 size) {
            events << QStringLiteral("Progress %1 %2").arg(loaded).arg(size);
        });
        QObject::connect(&q, &Quarvel::Finished, [this] { events << QStringLiteral("Finished"); });
        QObject::connect(&q, &Quarvel::TooSmall, [this] { events << QStringLiteral("TooSmall"); });
        QObject::connect(&q, &Quarvel::Header,
                         [this](int status, const QString &ranges, const QString &type,
                                const QString &length, const QString &referer) {
                             events << QStringLiteral("Header %1|%2|%3|%4|%5")
                                           .arg(status)
                                           .arg(ranges, type, length, referer);
                         });
        QObject::connect(&q, &Quarvel::Failed, [this](const QString &reason) {
            events << QStringLiteral("Failed ") + reason;
        });
    }

    // Waits until the transfer has ended (Finished, TooSmall or Failed).
    bool waitForEnd(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([this] { return ended(); }, timeoutMs);
    }
    bool ended() const
    {
        for (const QString &e : events)
            if (e == QLatin1String("Finished") || e == QLatin1String("TooSmall") ||
                e.startsWith(QLatin1String("Failed")))
                return true;
        return false;
    }
    QString last() const { return events.isEmpty() ? QString() : events.last(); }
    bool failed() const { return last().startsWith(QLatin1String("Failed")); }
    // The events without the Progress lines.
    QStringList milestones() const
    {
        QStringList out;
        for (const QString &e : events)
            if (!e.startsWith(QLatin1String("Progress")))
                out << (e.startsWith(QLatin1String("Failed")) ? QStringLiteral("Failed") : e);
        return out;
    }

    QStringList events;
};
