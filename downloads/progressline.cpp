#include "progressline.h"

#include "downloadlistmodel.h"
#include "leadingnumber.h"
#include "programstate.h"
#include "statewords.h"

#include <QStringList>

namespace
{

const QString Dot = QStringLiteral(" \u00b7 ");

// "received/announced bytes": the announced size, 0 when unknown.
qint64 Announced(const QString &size)
{
    const qsizetype slash = size.indexOf(QLatin1Char('/'));
    return slash < 0 ? 0 : LeadingNumber(QStringView(size).mid(slash + 1));
}

} // namespace

ListTally ListTally::Of(const DownloadListModel &list)
{
    ListTally t;
    t.Total = list.count();
    for (int row = 1; row <= t.Total; ++row) {
        const QString state = list.subItem(row, DownloadListModel::ColState);
        if (IsDoneState(state)) {
            ++t.Done;
            t.DoneBytes += LeadingNumber(list.subItem(row, DownloadListModel::ColSize));
        } else if (state == StateFailed) {
            ++t.Failed;
        } else if (state == StateTooSmall) {
            ++t.TooSmall;
        } else if (state == StateProgress) {
            ++t.Running;
            const QString size = list.subItem(row, DownloadListModel::ColSize);
            const qint64 announced = Announced(size);
            if (announced > 0) {
                t.RunningLeft += qMax<qint64>(0, announced - LeadingNumber(size));
                t.RunningBytes += announced;
                ++t.RunningSized;
            }
        } else if (IsWaitingState(state)) {
            ++t.Waiting;
        }
    }
    return t;
}

void ProgressLine::Sample(qint64 receivedBytes, qint64 msecs)
{
    if (m_lastBytes >= 0 && msecs > m_lastMsecs) {
        const double now =
            double(qMax<qint64>(0, receivedBytes - m_lastBytes)) * 1000.0 / (msecs - m_lastMsecs);
        // Smoothed over about three samples, so that one slow moment does
        // not make the time left jump.
        m_speed = m_speed <= 0 ? now : 0.6 * m_speed + 0.4 * now;
    }
    m_lastBytes = receivedBytes;
    m_lastMsecs = msecs;
}

QString ProgressLine::Text(const ListTally &tally, double bytesPerSecond,
                           const LanguageTexts &texts)
{
    if (tally.Total == 0) return QString();
    QStringList parts;
    parts << texts.Text(QStringLiteral("STATUSDONE"), QStringLiteral("%1 of %2 done"))
                 .arg(tally.Done)
                 .arg(tally.Total);
    if (tally.Failed > 0)
        parts << texts.Text(QStringLiteral("STATUSFAILED"), QStringLiteral("%1 failed"))
                     .arg(tally.Failed);
    if (tally.TooSmall > 0)
        parts << texts.Text(QStringLiteral("STATUSTOOSMALL"), QStringLiteral("%1 too small"))
                     .arg(tally.TooSmall);
    if (tally.Running > 0) {
        parts << Bytes(bytesPerSecond) + QStringLiteral("/s");
        // What is still to come: the rest of the running files, and for
        // each waiting file the average size of the finished ones (of the
        // running ones while none has finished).
        qint64 left = tally.RunningLeft;
        if (tally.Done > 0)
            left += tally.DoneBytes / tally.Done * tally.Waiting;
        else if (tally.RunningSized > 0)
            left += tally.RunningBytes / tally.RunningSized * tally.Waiting;
        if (bytesPerSecond >= 1 && left > 0)
            parts << texts.Text(QStringLiteral("STATUSLEFT"), QStringLiteral("%1 left"))
                         .arg(Duration(qint64(double(left) / bytesPerSecond + 0.5)));
    }
    return parts.join(Dot);
}

QString ProgressLine::Bytes(double bytes)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024) return QStringLiteral("%1 B").arg(qint64(bytes));
    int unit = -1;
    while (bytes >= 1024 && unit < 3) {
        bytes /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(bytes, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString ProgressLine::Duration(qint64 seconds)
{
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString ms = QStringLiteral("%1:%2")
                           .arg(h > 0 ? QString::number(m).rightJustified(2, QLatin1Char('0'))
                                      : QString::number(m))
                           .arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QString::number(h) + QLatin1Char(':') + ms : ms;
}
