#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// One connection's reply, as a list of steps run in order: wait for the
// request, send bytes (optionally split into separate writes with pauses so
// the client sees separate reads), pause, close early, or hold the connection.
class Script
{
public:
    struct Step {
        enum Kind { WaitForRequest, Send, Pause, Close, Hold };
        Kind kind;
        QByteArray bytes;
        int ms = 0;
    };

    // Waits until the client's next request header (up to CR LF CR LF) has
    // arrived on the connection.
    Script &waitForRequest();
    // Sends the bytes in one write.
    Script &send(const QByteArray &bytes);
    // Sends the bytes in pieces of the given sizes (the rest as a last piece),
    // pausing gapMs between them.
    Script &sendSplit(const QByteArray &bytes, const QList<int> &sizes, int gapMs = 20);
    // Sends the bytes one byte per write.
    Script &sendBytewise(const QByteArray &bytes, int gapMs = 2);
    Script &pause(int ms);
    // Closes the connection from the server's side now.
    Script &close();
    // Keeps the connection open after the last step (by default it is closed).
    Script &hold();

    // A complete reply: waits for the request, sends it, closes.
    static Script reply(const QByteArray &bytes);

    QList<Step> steps;
};

// An HTTP server on 127.0.0.1 for tests that need exact bytes and faults: each
// accepted connection runs the next queued script (the last one is reused when
// the queue runs dry), and every request's bytes are recorded.
class ScriptedServer : public QObject
{
    Q_OBJECT
public:
    explicit ScriptedServer(QObject *parent = nullptr);
    ~ScriptedServer() override;

    // Listens on a free loopback port; false when that failed.
    bool start();
    quint16 port() const;
    // "http://127.0.0.1:<port>" + path.
    QString url(const QString &path = QStringLiteral("/")) const;

    void enqueue(const Script &script);
    // The bytes received on the n-th accepted connection (0-based), all its
    // requests.
    QByteArray request(int n = 0) const;
    int connectionCount() const;
    // Connections whose client has closed or aborted.
    int clientClosedCount() const;
    // The most connections open at once so far. A connection counts from its
    // accept until its script has ended or its client has closed, whichever
    // comes first (so a client that starts the next transfer the moment the
    // last bytes of one arrive is not counted twice).
    int peakOpenCount() const { return m_peakOpen; }

private:
    struct Conn;
    void onNewConnection();
    void runNext(Conn *conn);
    int openCount() const;

    QTcpServer m_server;
    QList<Script> m_queue;
    Script m_last;
    bool m_haveLast = false;
    QList<Conn *> m_conns;
    int m_peakOpen = 0;
};
