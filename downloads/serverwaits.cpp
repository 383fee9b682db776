#include "serverwaits.h"

#include "statewords.h"

#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <QUrl>

ServerWaits::ServerWaits(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        ArmTimer();
        emit WaitEnded();
    });
}

QString ServerWaits::ServerOf(const QString &address)
{
    const QUrl url(address.trimmed());
    const QString host = url.host().toLower();
    if (host.isEmpty()) return {};
    const int port =
        url.port(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
    return host + QLatin1Char(':') + QString::number(port);
}

QString ServerWaits::StatusText(int status)
{
    if (status == 429) return QStringLiteral("429 Too Many Requests");
    if (status == 503) return QStringLiteral("503 Service Unavailable");
    return QString::number(status);
}

qint64 ServerWaits::RetryAfterMs(const QString &field, const QDateTime &now)
{
    const QString value = field.trimmed();
    if (value.isEmpty()) return -1;
    bool ok = false;
    const qint64 seconds = value.toLongLong(&ok);
    if (ok) return seconds < 0 ? -1 : qMin(seconds, MaxRetryAfterMs / 1000 + 1) * 1000;
    // An HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT".
    QDateTime when = QDateTime::fromString(value, Qt::RFC2822Date);
    if (!when.isValid()) {
        const QDateTime local =
            QLocale::c().toDateTime(value, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
        when = QDateTime(local.date(), local.time(), Qt::UTC);
    }
    if (!when.isValid()) return -1;
    return qMax<qint64>(0, now.msecsTo(when));
}

void ServerWaits::Refused(const QString &address, int status, const QString &retryAfter)
{
    Server &server = m_servers[ServerOf(address)];
    const qint64 now = m_clock.elapsed();
    // Answers to requests sent before the wait began do not lengthen the
    // back-off again: they are the same refusal.
    if (server.Until <= now)
        server.BackOff =
            server.BackOff == 0 ? FirstBackOffMs : qMin(server.BackOff * 2, MaxBackOffMs);
    const qint64 asked =
        qMin(RetryAfterMs(retryAfter, QDateTime::currentDateTimeUtc()), MaxRetryAfterMs);
    server.Until = qMax(server.Until, now + qMax(asked, server.BackOff));
    server.Status = status;
    ArmTimer();
}

void ServerWaits::Answered(const QString &address, const QPersistentModelIndex &row)
{
    // Without any server waiting the address need not be taken apart (this
    // runs for every finished row).
    const auto it = m_servers.isEmpty() ? m_servers.end() : m_servers.find(ServerOf(address));
    if (it != m_servers.end() && it->Until <= m_clock.elapsed()) m_servers.erase(it);
    if (row.isValid()) ForgetRow(row);
}

qint64 ServerWaits::MsLeft(const QString &address) const
{
    if (m_servers.isEmpty()) return 0;
    const auto it = m_servers.constFind(ServerOf(address));
    return it == m_servers.constEnd() ? 0 : qMax<qint64>(0, it->Until - m_clock.elapsed());
}

int ServerWaits::CountRefusal(const QPersistentModelIndex &row)
{
    // Rows that are gone leave their counts here; drop them on the way.
    m_refusals.removeIf([](const auto &entry) { return !entry.first.isValid(); });
    for (auto &[index, count] : m_refusals)
        if (index == row) return ++count;
    m_refusals.append({row, 1});
    return 1;
}

void ServerWaits::ForgetRow(const QPersistentModelIndex &row)
{
    m_refusals.removeIf([&row](const auto &entry) { return entry.first == row; });
}

QString ServerWaits::Text(const char *key, const char *english) const
{
    const QString fallback = QString::fromUtf8(english);
    return Texts ? Texts(QString::fromLatin1(key), fallback) : fallback;
}

QString ServerWaits::WaitingWord() const
{
    // Stored in English like every state word; the list shows it translated.
    return StateServerWait;
}

QString ServerWaits::WaitReason(const QString &address) const
{
    const auto it = m_servers.constFind(ServerOf(address));
    const QString time =
        QTime::currentTime().addMSecs(int(MsLeft(address))).toString(QStringLiteral("HH:mm:ss"));
    return Text("SERVERWAIT", "%1: the server asked to wait until %2")
        .arg(StatusText(it == m_servers.constEnd() ? 429 : it->Status), time);
}

QString ServerWaits::RefusedReason(int count, int status) const
{
    return Text("SERVERREFUSED", "the server refused %1 times: %2")
        .arg(count)
        .arg(StatusText(status));
}

void ServerWaits::Hold(const QPersistentModelIndex &row)
{
    m_held.removeIf([](const QPersistentModelIndex &held) { return !held.isValid(); });
    if (!m_held.contains(row)) m_held.append(row);
}

void ServerWaits::Release(const QPersistentModelIndex &row)
{
    m_held.removeAll(row);
}

void ServerWaits::ArmTimer()
{
    const qint64 now = m_clock.elapsed();
    qint64 next = -1;
    for (const Server &server : std::as_const(m_servers))
        if (server.Until > now && (next < 0 || server.Until < next)) next = server.Until;
    if (next < 0)
        m_timer.stop();
    else
        m_timer.start(int(next - now));
}
