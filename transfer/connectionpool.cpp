#include "connectionpool.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace
{

struct Idle {
    QString key;
    QTcpSocket *socket;
    QDeadlineTimer due; // when it has been idle for IdleMs
};

struct Pool {
    QObject owner;    // parent of the idle sockets and context of their handlers
    QList<Idle> idle; // oldest first
    // One timer for all idle connections, due no later than the oldest one
    // (a timer per stay would pile up thousands of pending timers, each of
    // which every timer start and stop of the thread looks through).
    QTimer sweep;
    int keepers = 0;
    QHash<QTcpSocket *, int> inSignal;
    QSet<QTcpSocket *> doomed;
};

Pool &pool()
{
    static Pool p;
    return p;
}

void closeAllAtExit()
{
    // The sockets must go before the application object and its event
    // dispatcher; nothing runs the event loop any more.
    Pool &p = pool();
    p.sweep.stop();
    const QList<Idle> idle = std::exchange(p.idle, {});
    for (const Idle &i : idle) {
        i.socket->disconnect();
        i.socket->abort();
        delete i.socket;
    }
}

// Takes the entry at index out of the pool and closes its socket.
void dropAt(qsizetype index)
{
    QTcpSocket *socket = pool().idle.takeAt(index).socket;
    ConnectionPool::Discard(socket);
}

void dropSocket(QTcpSocket *socket)
{
    QList<Idle> &idle = pool().idle;
    for (qsizetype i = 0; i < idle.size(); ++i)
        if (idle[i].socket == socket) {
            dropAt(i);
            return;
        }
}

// Closes the connections idle for IdleMs and waits for the next oldest.
void sweepIdle()
{
    Pool &p = pool();
    while (!p.idle.isEmpty() && p.idle.first().due.hasExpired())
        dropAt(0);
    if (!p.idle.isEmpty()) p.sweep.start(int(qMax<qint64>(1, p.idle.first().due.remainingTime())));
}

// True when the server has closed the connection or sent something that no
// one asked for, as far as the system already knows.
bool closedOrStale(QTcpSocket *socket, bool secure)
{
    if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesAvailable() > 0)
        return true;
#ifdef Q_OS_UNIX
    char c;
    const auto n = ::recv(int(socket->socketDescriptor()), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return true;
    // Over TLS the server may still send session tickets or alerts, which the
    // TLS layer handles; plain bytes before a request are stale.
    if (n > 0 && !secure) return true;
#else
    Q_UNUSED(secure);
#endif
    return false;
}

} // namespace

namespace ConnectionPool
{

QString Key(bool secure, const QString &connectHost, quint16 port)
{
    return (secure ? QStringLiteral("https://") : QStringLiteral("http://")) +
           connectHost.toLower() + QLatin1Char(':') + QString::number(port);
}

QTcpSocket *Take(const QString &key)
{
    QList<Idle> &idle = pool().idle;
    // The most recently used connection is the least likely to be closed.
    for (qsizetype i = idle.size() - 1; i >= 0; --i) {
        if (idle[i].key != key) continue;
        QTcpSocket *socket = idle[i].socket;
        if (closedOrStale(socket, key.startsWith(QLatin1String("https:")))) {
            dropAt(i);
            continue;
        }
        idle.removeAt(i);
        socket->disconnect(&pool().owner);
        socket->setParent(nullptr);
        return socket;
    }
    return nullptr;
}

void Give(const QString &key, QTcpSocket *socket)
{
    Pool &p = pool();
    if (p.keepers <= 0 || closedOrStale(socket, key.startsWith(QLatin1String("https:")))) {
        Discard(socket);
        return;
    }
    static const bool routineAdded = [] {
        qAddPostRoutine(closeAllAtExit);
        return true;
    }();
    Q_UNUSED(routineAdded);
    static const bool sweepConnected = [&p] {
        p.sweep.setSingleShot(true);
        QObject::connect(&p.sweep, &QTimer::timeout, &p.owner, sweepIdle);
        return true;
    }();
    Q_UNUSED(sweepConnected);
    socket->setParent(&p.owner);
    p.idle.append({key, socket, QDeadlineTimer(IdleMs)});
    // Later stays are due later: a running sweep is due soon enough.
    if (!p.sweep.isActive()) p.sweep.start(IdleMs);
    // Whatever the server does while the connection is idle ends it: a close,
    // or data that no request asked for.
    const auto drop = [socket] { dropSocket(socket); };
    QObject::connect(socket, &QTcpSocket::readyRead, &p.owner, drop);
    QObject::connect(socket, &QTcpSocket::disconnected, &p.owner, drop);
    QObject::connect(socket, &QTcpSocket::errorOccurred, &p.owner, drop);
    while (p.idle.size() > p.keepers)
        dropAt(0);
}

int IdleCount(const QString &key)
{
    int n = 0;
    for (const Idle &i : std::as_const(pool().idle))
        n += key.isEmpty() || i.key == key ? 1 : 0;
    return n;
}

void AddKeeper()
{
    ++pool().keepers;
}

void RemoveKeeper()
{
    Pool &p = pool();
    --p.keepers;
    while (p.idle.size() > qMax(0, p.keepers))
        dropAt(0);
}

void Discard(QTcpSocket *socket)
{
    if (!socket) return;
    Pool &p = pool();
    socket->disconnect();
    socket->abort();
    socket->setParent(nullptr);
    if (p.inSignal.contains(socket))
        p.doomed.insert(socket);
    else
        socket->deleteLater();
}

SignalScope::SignalScope(QTcpSocket *socket) : m_socket(socket)
{
    if (m_socket) ++pool().inSignal[m_socket];
}

SignalScope::~SignalScope()
{
    if (!m_socket) return;
    Pool &p = pool();
    auto it = p.inSignal.find(m_socket);
    if (--*it > 0) return;
    p.inSignal.erase(it);
    if (p.doomed.remove(m_socket)) m_socket->deleteLater();
}

} // namespace ConnectionPool
