#include "scriptedserver.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

Script &Script::waitForRequest()
{
    steps.append({Step::WaitForRequest, {}, 0});
    return *this;
}

Script &Script::send(const QByteArray &bytes)
{
    steps.append({Step::Send, bytes, 0});
    return *this;
}

Script &Script::sendSplit(const QByteArray &bytes, const QList<int> &sizes, int gapMs)
{
    int at = 0;
    for (int size : sizes) {
        if (at >= bytes.size())
            break;
        if (at > 0)
            pause(gapMs);
        send(bytes.mid(at, size));
        at += size;
    }
    if (at < bytes.size()) {
        if (at > 0)
            pause(gapMs);
        send(bytes.mid(at));
    }
    return *this;
}

Script &Script::sendBytewise(const QByteArray &bytes, int gapMs)
{
    return sendSplit(bytes, QList<int>(bytes.size(), 1), gapMs);
}

Script &Script::pause(int ms)
{
    steps.append({Step::Pause, {}, ms});
    return *this;
}

Script &Script::close()
{
    steps.append({Step::Close, {}, 0});
    return *this;
}

Script &Script::hold()
{
    steps.append({Step::Hold, {}, 0});
    return *this;
}

Script Script::reply(const QByteArray &bytes)
{
    Script s;
    s.waitForRequest().send(bytes);
    return s;
}

struct ScriptedServer::Conn {
    QPointer<QTcpSocket> socket;
    Script script;
    int next = 0;
    bool waiting = false;
    int requestsTaken = 0; // requests the script's waits have taken
    bool clientClosed = false;
    bool scriptEnded = false;
    QByteArray received;
};

ScriptedServer::ScriptedServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedServer::onNewConnection);
}

ScriptedServer::~ScriptedServer()
{
    for (Conn *c : m_conns) {
        if (c->socket)
            c->socket->abort();
        delete c;
    }
}

bool ScriptedServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 ScriptedServer::port() const
{
    return m_server.serverPort();
}

QString ScriptedServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void ScriptedServer::enqueue(const Script &script)
{
    m_queue.append(script);
}

QByteArray ScriptedServer::request(int n) const
{
    return n >= 0 && n < m_conns.size() ? m_conns[n]->received : QByteArray();
}

int ScriptedServer::connectionCount() const
{
    return int(m_conns.size());
}

int ScriptedServer::clientClosedCount() const
{
    int n = 0;
    for (const Conn *c : m_conns)
        n += c->clientClosed ? 1 : 0;
    return n;
}

int ScriptedServer::openCount() const
{
    int n = 0;
    for (const Conn *c : m_conns)
        n += c->clientClosed || c->scriptEnded ? 0 : 1;
    return n;
}

void ScriptedServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *conn = new Conn;
        conn->socket = socket;
        socket->setParent(this);
        if (!m_queue.isEmpty()) {
            m_last = m_queue.takeFirst();
            m_haveLast = true;
        }
        if (m_haveLast)
            conn->script = m_last;
        m_conns.append(conn);
        m_peakOpen = qMax(m_peakOpen, openCount());
        connect(socket, &QTcpSocket::readyRead, this, [this, conn] {
            conn->received += conn->socket->readAll();
            if (conn->waiting && conn->received.count("\r\n\r\n") > conn->requestsTaken) {
                conn->waiting = false;
                ++conn->requestsTaken;
                runNext(conn);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [conn] { conn->clientClosed = true; });
        runNext(conn);
    }
}

void ScriptedServer::runNext(Conn *conn)
{
    while (conn->socket && conn->next < conn->script.steps.size()) {
        const Script::Step step = conn->script.steps[conn->next++];
        switch (step.kind) {
        case Script::Step::WaitForRequest:
            if (conn->received.count("\r\n\r\n") <= conn->requestsTaken) {
                conn->waiting = true;
                return;
            }
            ++conn->requestsTaken;
            break;
        case Script::Step::Send:
            conn->socket->write(step.bytes);
            conn->socket->flush();
            break;
        case Script::Step::Pause:
            QTimer::singleShot(step.ms, this, [this, conn] { runNext(conn); });
            return;
        case Script::Step::Close:
            conn->scriptEnded = true;
            conn->socket->disconnectFromHost();
            return;
        case Script::Step::Hold:
            return;
        }
    }
    // End of the script: close once everything written has gone out.
    conn->scriptEnded = true;
    if (conn->socket && conn->socket->state() == QAbstractSocket::ConnectedState)
        conn->socket->disconnectFromHost();
}
