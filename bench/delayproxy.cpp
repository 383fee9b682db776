// delayproxy: forwards connections from a 127.0.0.1 port to another and holds
// every piece of data for half a round trip in each direction, so that local
// benchmarks see the round trips of a distant server. A new connection's
// first bytes towards the server wait one round trip more, standing in for
// the TCP handshake the proxy cannot delay (the client's connect returns at
// once).
//
//   delayproxy LISTENPORT TARGETPORT RTT_MS
//
// Prints "listening LISTENPORT" once it accepts connections; runs until
// killed. Exit code 2: bad usage or the port cannot be used.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <deque>

namespace
{

QElapsedTimer clock_;

// One direction of a connection: what was read from one socket and when it
// may be written to the other.
struct Direction {
    QTcpSocket *from = nullptr;
    QTcpSocket *to = nullptr;
    std::deque<std::pair<qint64, QByteArray>> held; // (due, bytes), in order
    qint64 extraFirstMs = 0;                        // added to the first bytes only
    bool fromClosed = false;
    bool toClosed = false;
};

class Link : public QObject
{
public:
    Link(QTcpSocket *client, quint16 target, int rttMs) : m_half(rttMs / 2)
    {
        auto *server = new QTcpSocket(this);
        client->setParent(this);
        m_up = {client, server, {}, rttMs, false, false};
        m_down = {server, client, {}, 0, false, false};
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { release(); });
        watch(m_up);
        watch(m_down);
        server->connectToHost(QHostAddress::LocalHost, target);
    }

private:
    void watch(Direction &d)
    {
        connect(d.from, &QTcpSocket::readyRead, this, [this, &d] {
            const QByteArray bytes = d.from->readAll();
            if (bytes.isEmpty()) return;
            d.held.emplace_back(clock_.elapsed() + m_half + d.extraFirstMs, bytes);
            d.extraFirstMs = 0;
            schedule();
        });
        connect(d.from, &QTcpSocket::disconnected, this, [this, &d] {
            d.fromClosed = true;
            schedule();
        });
        connect(d.from, &QTcpSocket::errorOccurred, this, [this, &d] {
            d.fromClosed = true;
            schedule();
        });
    }

    void schedule()
    {
        qint64 next = -1;
        for (const Direction *d : {&m_up, &m_down})
            if (!d->held.empty() && (next < 0 || d->held.front().first < next))
                next = d->held.front().first;
        if (next >= 0) {
            m_timer.start(int(qMax<qint64>(0, next - clock_.elapsed())));
            return;
        }
        // Nothing held: a close goes on to the other side.
        release();
    }

    void release()
    {
        const qint64 now = clock_.elapsed();
        for (Direction *d : {&m_up, &m_down}) {
            while (!d->held.empty() && d->held.front().first <= now) {
                d->to->write(d->held.front().second);
                d->held.pop_front();
            }
            if (d->fromClosed && d->held.empty() && !d->toClosed) {
                d->toClosed = true;
                d->to->disconnectFromHost();
            }
        }
        if (m_up.toClosed && m_down.toClosed) {
            deleteLater();
            return;
        }
        if ((!m_up.held.empty() || !m_down.held.empty()) && !m_timer.isActive()) schedule();
    }

    qint64 m_half;
    Direction m_up, m_down;
    QTimer m_timer;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok1 = false, ok2 = false, ok3 = false;
    const quint16 listenPort = args.size() == 4 ? args[1].toUShort(&ok1) : 0;
    const quint16 targetPort = args.size() == 4 ? args[2].toUShort(&ok2) : 0;
    const int rtt = args.size() == 4 ? args[3].toInt(&ok3) : -1;
    if (!ok1 || !ok2 || !ok3 || rtt < 0) {
        std::fputs("usage: delayproxy LISTENPORT TARGETPORT RTT_MS\n", stderr);
        return 2;
    }
    clock_.start();
    QTcpServer server;
    server.setMaxPendingConnections(1024);
    if (!server.listen(QHostAddress::LocalHost, listenPort)) {
        std::fprintf(stderr, "delayproxy: cannot listen on %u\n", unsigned(listenPort));
        return 2;
    }
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *client = server.nextPendingConnection())
            new Link(client, targetPort, rtt);
    });
    std::printf("listening %u\n", unsigned(listenPort));
    std::fflush(stdout);
    return app.exec();
}
