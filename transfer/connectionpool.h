#pragma once

#include <QString>

class QTcpSocket;

// The idle connections of the process, kept after a transfer whose response
// ended cleanly so that the next transfer to the same server (scheme, connect
// name and port) can send its request without a new TCP and TLS handshake.
// Process-wide because every control of the process may use a connection
// another one handed back; only the transfer jobs of this library use it, all
// on the one thread.
//
// An idle connection is closed when the server closes it or sends anything,
// after IdleMs, and when more connections are idle than controls keep
// connections (the oldest goes first). Sockets handed out are not connected
// to anything; the pool's own handlers are cut before.
namespace ConnectionPool
{

// How long a connection may stay idle.
constexpr int IdleMs = 4000;

// "http://host:port" or "https://host:port": which connections are alike.
QString Key(bool secure, const QString &connectHost, quint16 port);

// Takes an idle connection of key, or nullptr when there is none. The caller
// owns the socket afterwards.
QTcpSocket *Take(const QString &key);

// Hands a connected socket with nothing left to read back under key. The
// caller must have cut its own connections to the socket's signals.
void Give(const QString &key, QTcpSocket *socket);

// The number of idle connections (of key; all when key is empty).
int IdleCount(const QString &key = {});

// The controls that keep connections: the pool holds at most this many.
void AddKeeper();
void RemoveKeeper();

// Closes a socket that is no longer wanted and deletes it as soon as none of
// its own signals is on the stack (see SignalScope). Its signals are cut
// first, so that the disconnected() of the local abort reaches no one.
void Discard(QTcpSocket *socket);

// Marks a socket as emitting one of its signals for as long as the scope
// lives: a Discard meanwhile defers the deletion to the end of the outermost
// such scope, which runs at the event-loop level of the signal. (A socket
// may change hands inside its own signal, and a nested event loop of the new
// owner would otherwise carry out a deleteLater under the signal's feet.)
class SignalScope
{
public:
    explicit SignalScope(QTcpSocket *socket);
    ~SignalScope();
    SignalScope(const SignalScope &) = delete;
    SignalScope &operator=(const SignalScope &) = delete;

private:
    QTcpSocket *m_socket;
};

} // namespace ConnectionPool
