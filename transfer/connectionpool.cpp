#include "connectionpool.h"

#include <QCoreApplication>
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
    quint64 serial; // tells this stay in the pool from a later one
};

struct Pool {
    QObject owner;    // parent of the idle sockets and context of their handlers
    QList<Idle> idle; // oldest first
    quint64 serial = 0;
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

void dropSocket(QTcpSocket *socket, quint64 serial)
{
    QList<Idle> &idle = pool().idle;
    for (qsizetype i = 0; i < idle.size(); ++i)
        if (idle[i].socket == socket && (serial == 0 || idle[i].serial == serial)) {
            dropAt(i);
            return;
        }
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
    socket->setParent(&p.owner);
    const quint64 serial = ++p.serial;
    p.idle.append({key, socket, serial});
    // Whatever the server does while the connection is idle ends it: a close,
    // or data that no request asked for.
    const auto drop = [socket] { dropSocket(socket, 0); };
    QObject::connect(socket, &QTcpSocket::readyRead, &p.owner, drop);
    QObject::connect(socket, &QTcpSocket::disconnected, &p.owner, drop);
    QObject::connect(socket, &QTcpSocket::errorOccurred, &p.owner, drop);
    QTimer::singleShot(IdleMs, socket, [socket, serial] { dropSocket(socket, serial); });
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
