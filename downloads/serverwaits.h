#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <QTimer>

#include <functional>

class QDateTime;

// Servers that asked to wait. A 429 or 503 answer puts its server into a
// wait: no new request goes to it until the later of its Retry-After (capped
// at ten minutes) and an own back-off (5 s, doubling with every refusal in a
// row, capped at five minutes); a good answer starts the back-off again.
// Rows that may not start now (their server waits, or holds its limit of
// groups) are held here in the order they came; WaitEnded tells the engine
// when one of them may be able to start.
class ServerWaits : public QObject
{
    Q_OBJECT
public:
    // After this many refusals in a row a row fails.
    static constexpr int MaxRefusals = 6;
    static constexpr qint64 MaxRetryAfterMs = 10 * 60 * 1000;

    explicit ServerWaits(QObject *parent = nullptr);

    // The back-off's first wait and its cap, in milliseconds (tests shorten them).
    qint64 FirstBackOffMs = 5000;
    qint64 MaxBackOffMs = 5 * 60 * 1000;
    // The named text of the current language for a key, given its English
    // text; English when unset.
    std::function<QString(const QString &key, const QString &english)> Texts;

    // "host:port" of an address in lower case; empty without a host.
    static QString ServerOf(const QString &address);
    // Whether an answer's status asks the client to come back later.
    static bool AsksToWait(int status) { return status == 429 || status == 503; }
    // The status with its reason phrase: "429 Too Many Requests".
    static QString StatusText(int status);
    // The wait a Retry-After field asks for, in milliseconds from now
    // (seconds or an HTTP date); -1 when the field is missing or unreadable.
    static qint64 RetryAfterMs(const QString &field, const QDateTime &now);

    // The server of address answered status with the Retry-After field
    // retryAfter: it waits from now on.
    void Refused(const QString &address, int status, const QString &retryAfter);
    // A request to the server of address ended well: its back-off starts
    // again, and row's refusals are forgotten.
    void Answered(const QString &address, const QPersistentModelIndex &row = {});
    // Milliseconds until the server of address may be asked again (0: now).
    qint64 MsLeft(const QString &address) const;

    // Counts one more refusal in a row for row and returns the count.
    int CountRefusal(const QPersistentModelIndex &row);
    void ForgetRow(const QPersistentModelIndex &row);

    // The row's state word while it waits, and its tooltip: the server's last
    // refusal and the time its wait ends.
    QString WaitingWord() const;
    QString WaitReason(const QString &address) const;
    // The reason of a row that failed after count refusals with status.
    QString RefusedReason(int count, int status) const;

    // Rows held back, in the order they were held; each row once.
    void Hold(const QPersistentModelIndex &row);
    QList<QPersistentModelIndex> Held() const { return m_held; }
    void Release(const QPersistentModelIndex &row);
    bool HasHeld() const { return !m_held.isEmpty(); }
    void ReleaseAll() { m_held.clear(); }

signals:
    // A server's wait has ended: held rows may start.
    void WaitEnded();

private:
    struct Server {
        qint64 Until = 0; // on m_clock
        qint64 BackOff = 0;
        int Status = 0;
    };
    QString Text(const char *key, const char *english) const;
    void ArmTimer();

    QElapsedTimer m_clock;
    QHash<QString, Server> m_servers;
    QList<QPair<QPersistentModelIndex, int>> m_refusals;
    QList<QPersistentModelIndex> m_held;
    QTimer m_timer;
};
