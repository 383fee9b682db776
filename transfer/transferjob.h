#pragma once

#include "chunkeddecoder.h"
#include "connectionpool.h"
#include "httpaddress.h"
#include "responseheader.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class Quarvel;
class QTcpSocket;
class TlsLink;

// What one transfer was asked to do.
struct TransferParams {
    QString url;
    QString localFile; // after the unique-name rule
    qint64 minSize = 0;
    bool isGet = true;
    qint64 startRange = 0;
    qint64 endRange = 0;
    bool append = false;
    QString referer;
    // Extra request lines for the address of each request (redirects too).
    std::function<QList<QByteArray>(const QString &)> extraLines;
    int connectTimeoutMs = 30000;
    int stallTimeoutMs = 60000;
    // Send without "Connection: close", take an idle connection to the server
    // when there is one and hand the connection back after a clean answer.
    bool keepConnection = false;
};

// One transfer of a Quarvel control: connects, sends the request, reads the
// response header and body, follows redirects, and raises the control's events.
// All state changes go through setState(); once the transfer has ended (in any
// state past ReadingBody) no socket or timer callback reaches it again.
class TransferJob : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,          // created, start() not yet called
        Connecting,    // resolving and connecting (also after a redirect)
        ReadingHeader, // request sent, collecting the response header
        ReadingBody,   // header accepted, storing the body (GET only)
        Finished,      // Finished raised: the body (or HEAD header) is complete
        TooSmall,      // TooSmall raised: the announced length is below the minimum
        Failed,        // Failed raised, or about to be
        Stopped,       // stopped by the host; raises nothing more
    };

    TransferJob(Quarvel *owner, const TransferParams &params);
    ~TransferJob() override;

    void start();
    // Ends the transfer without any event (abort, or superseded by a new one).
    void stop();
    // Stops the transfer and deletes the job as soon as none of its calls is
    // on the stack any more (at once when none is).
    void retire();

    State state() const { return m_state; }
    bool isActive() const;
    QString finalUrl() const;
    QString localFile() const { return m_params.localFile; }
    // True when this transfer created its local file (a non-appending
    // transfer that reached the body); the file is then the transfer's own.
    bool createdLocalFile() const { return m_createdFile; }
    // The Content-Type of the accepted GET response; empty before one.
    QString contentType() const { return m_contentType; }
    // The status and the Retry-After field of the last final answer.
    int statusCode() const { return m_statusCode; }
    QString retryAfter() const { return m_retryAfter; }
    // True while one of this job's handlers runs (it raised an event whose
    // handler is still running): it may then only be deleted later.
    bool inCallback() const { return m_callbackDepth > 0; }

private:
    // Counts the calls of this job that are on the stack; the outermost one
    // deletes what had to wait for it.
    struct CallbackScope {
        explicit CallbackScope(TransferJob *job);
        ~CallbackScope();
        TransferJob *m_job;
        // The socket whose signal may have led here cannot be deleted before
        // this call returns.
        ConnectionPool::SignalScope m_socketScope;
    };

    void setState(State s);
    // Connects to address: over an idle connection of the pool when the
    // transfer keeps connections and mayReuse is true, else a new one.
    void connectTo(const HttpAddress &address, bool mayReuse = true);
    void wireSocket(QTcpSocket *socket, bool reused);
    void dropSocket();
    // Hands the connection to the pool when the transfer keeps connections,
    // the answer ended exactly and the server keeps the connection.
    void handBack(bool answerEndedExactly);
    // A reused connection that failed before any byte of an answer: sends the
    // request once more on a new connection. False when that does not apply.
    bool retryOnNewConnection();
    void onConnected();
    void onReadyRead();
    // Reads over TLS: the handshake while connecting, then the answer.
    void readSecure();
    void onSocketError(QAbstractSocket::SocketError error);
    void onPeerClosed();
    void onTimeout();
    // The time-out is due in ms from now (see m_deadline).
    void armTimer(int ms);
    // Why a TLS handshake failed: the refused certificate's problems, a
    // server that does not speak TLS, or the socket's own words.
    QString tlsFailure(const QString &socketText) const;

    // Returns false when the transfer ended (or was ended by the host) while
    // handling the data.
    bool consume(const char *data, qsizetype size);
    bool takeHeader(QByteArray leftover);
    // bodyBytes: how much of the redirect's body came with its header.
    bool followRedirect(const ResponseHeader &header, qsizetype bodyBytes);
    bool openLocalFile();
    bool writeBody(const char *data, qsizetype size);
    bool bodyComplete() const;
    // The accepted answer's body is complete: finishes the transfer, or asks
    // for the rest of a byte range that a 206 answer delivered only in part.
    void bodyEnded();
    bool checkPartialAnswer(const ResponseHeader &header, qint64 length);
    void finish();
    void fail(const QString &reason);
    void releaseResources();

    Quarvel *m_owner;
    TransferParams m_params;
    State m_state = State::Idle;
    HttpAddress m_address;
    QPointer<QTcpSocket> m_socket;
    QTimer m_timer;            // connect time-out while connecting, stall time-out after
    QDeadlineTimer m_deadline; // when the time-out is due
    QDeadlineTimer m_timerDue; // when m_timer fires
    QByteArray m_headerBuffer;
    ChunkedDecoder m_chunked;
    QByteArray m_decoded;
    QFile m_file;
    bool m_claimed = false;
    bool m_createdFile = false;
    bool m_startedRaised = false;
    int m_redirects = 0;
    // Header bytes of the current response taken so far, interim answers
    // included, and the number of interim answers skipped.
    qsizetype m_headerBytes = 0;
    int m_interimAnswers = 0;
    int m_callbackDepth = 0;
    bool m_retired = false;
    bool m_reusedSocket = false;   // the socket came from the pool
    bool m_serverKeeps = false;    // the answer lets the connection stay open
    bool m_bytesAfterBody = false; // the server sent more than the answer
    TlsLink *m_tls = nullptr;      // the TLS of m_socket, for a secure address

    // Body framing of the accepted response.
    bool m_isChunked = false;
    bool m_hasLength = false;
    qint64 m_responseStart = 0;  // m_bytesWritten when this answer's body began
    qint64 m_responseLength = 0; // this answer's body length, when m_hasLength
    qint64 m_contentLength = 0;  // the announced length (FileSize of Progress)
    qint64 m_bytesWritten = 0;

    // Byte ranges: the start asked for by the current request, and the last
    // byte the current 206 answer announced (-1 before one was accepted).
    qint64 m_rangeStart = 0;
    qint64 m_rangeAnswerLast = -1;
    int m_rangeRequests = 0;
    QString m_contentType;
    int m_statusCode = 0;
    QString m_retryAfter;
};
