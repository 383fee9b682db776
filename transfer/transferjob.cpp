#include "transferjob.h"

#include "httprequest.h"
#include "localfilenames.h"
#include "quarvel.h"
#include "tlslink.h"
#include "tlssessions.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <QUrl>

namespace
{

// The header must end within this many bytes.
constexpr qsizetype MaxHeaderBytes = 64 * 1024;
constexpr int MaxRedirects = 5;
// More interim (1xx) answers than this before the real one fail the transfer.
constexpr int MaxInterimAnswers = 20;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// How many of data's bytes belong to the header gathered so far: up to and
// with its first empty line, which may begin in gathered; all of them while
// that line has not come.
qsizetype headerPart(const QByteArray &gathered, const char *data, qsizetype size)
{
    const QByteArrayView view(data, size);
    for (qsizetype back = qMin<qsizetype>(3, gathered.size()); back > 0; --back) {
        const qsizetype ahead = 4 - back;
        if (size >= ahead && gathered.endsWith(QByteArrayView("\r\n\r\n").first(back)) &&
            view.first(ahead) == QByteArrayView("\r\n\r\n").last(ahead))
            return ahead;
    }
    const qsizetype end = view.indexOf(QByteArrayView("\r\n\r\n"));
    return end < 0 ? size : end + 4;
}

QString seconds(int ms)
{
    return ms % 1000 == 0 ? QString::number(ms / 1000) + QStringLiteral(" s")
                          : QString::number(ms) + QStringLiteral(" ms");
}
} // namespace

TransferJob::TransferJob(Quarvel *owner, const TransferParams &params)
    : m_owner(owner), m_params(params), m_rangeStart(params.startRange)
{
    m_address = HttpAddress::parse(params.url);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TransferJob::onTimeout);
}

TransferJob::~TransferJob()
{
    releaseResources();
}

bool TransferJob::isActive() const
{
    return m_state == State::Connecting || m_state == State::ReadingHeader ||
           m_state == State::ReadingBody;
}

QString TransferJob::finalUrl() const
{
    return m_address.isValid() ? m_address.toUrl() : m_params.url;
}

void TransferJob::setState(State s)
{
    m_state = s;
}

void TransferJob::start()
{
    // Failures found here are raised later from the event loop, never from
    // inside the host's StartDownload call.
    setState(State::Connecting);
    if (!m_address.isValid()) {
        fail(m_address.error);
        return;
    }
    m_claimed = LocalFileNames::Claim(m_params.localFile);
    if (!m_claimed) {
        fail(QStringLiteral("the local file is in use by another transfer: ") + m_params.localFile);
        return;
    }
    connectTo(m_address);
}

void TransferJob::stop()
{
    releaseResources();
    setState(State::Stopped);
}

void TransferJob::connectTo(const HttpAddress &address, bool mayReuse)
{
    dropSocket();
    m_address = address;
    m_headerBuffer.clear();
    m_headerBytes = 0;
    m_interimAnswers = 0;
    m_serverKeeps = false;
    m_bytesAfterBody = false;
    setState(State::Connecting);

    armTimer(m_params.connectTimeoutMs);
    if (m_params.keepConnection && mayReuse) {
        if (QTcpSocket *socket = ConnectionPool::Take(
                ConnectionPool::Key(address.secure, address.connectHost, address.port))) {
            wireSocket(socket, true);
            // The request goes out from the event loop, as after a new
            // connection: never inside the host's StartDownload call.
            QMetaObject::invokeMethod(
                this,
                [this, socket] {
                    if (m_socket == socket) onConnected();
                },
                Qt::QueuedConnection);
            return;
        }
    }
    // A secure address gets TLS over the connection: the request goes out
    // once the handshake is done and the server's certificate has been
    // verified.
    auto *socket = new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    if (address.secure) new TlsLink(socket, address.connectHost, address.port);
    wireSocket(socket, false);
    socket->connectToHost(address.connectHost, address.port);
}

void TransferJob::wireSocket(QTcpSocket *socket, bool reused)
{
    m_socket = socket;
    m_reusedSocket = reused;
    m_tls = TlsLink::Of(socket);
    if (reused) socket->setParent(this);
    if (!reused)
        connect(socket, &QTcpSocket::connected, this, [this] {
            if (!m_tls) {
                onConnected();
                return;
            }
            const CallbackScope scope(this);
            if (m_state == State::Connecting) m_tls->startHandshake();
        });
    connect(socket, &QTcpSocket::readyRead, this, &TransferJob::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &TransferJob::onPeerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &TransferJob::onSocketError);
}

void TransferJob::dropSocket()
{
    if (!m_socket) return;
    // A local abort makes the socket report disconnected(); it must not look
    // like the server closing, so nothing of the socket reaches us any more.
    // The socket may be inside one of its own signals further down the
    // stack: the pool deletes it once that has returned.
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    m_tls = nullptr;
    socket->disconnect(this);
    ConnectionPool::Discard(socket);
}

void TransferJob::handBack(bool answerEndedExactly)
{
    if (!m_socket || !m_params.keepConnection || !answerEndedExactly || !m_serverKeeps ||
        m_bytesAfterBody || m_socket->bytesAvailable() > 0)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    m_tls = nullptr;
    socket->disconnect(this);
    ConnectionPool::Give(
        ConnectionPool::Key(m_address.secure, m_address.connectHost, m_address.port), socket);
}

bool TransferJob::retryOnNewConnection()
{
    // Only a connection that carried an earlier answer, and only while not a
    // byte of this answer has come: the server closed it while idle, and the
    // request was never handled.
    if (!m_reusedSocket || !m_socket || m_headerBytes > 0 || !m_headerBuffer.isEmpty() ||
        (m_state != State::Connecting && m_state != State::ReadingHeader))
        return false;
    connectTo(m_address, false);
    return true;
}

void TransferJob::retire()
{
    stop();
    m_retired = true;
    if (m_callbackDepth == 0) deleteLater();
}

TransferJob::CallbackScope::CallbackScope(TransferJob *job)
    : m_job(job), m_socketScope(job->m_socket)
{
    ++m_job->m_callbackDepth;
}

TransferJob::CallbackScope::~CallbackScope()
{
    if (--m_job->m_callbackDepth > 0) return;
    // The outermost call is ending, at the event-loop level that called it:
    // a job retired meanwhile can now be deleted safely from there.
    if (m_job->m_retired) m_job->deleteLater();
}

void TransferJob::releaseResources()
{
    m_timer.stop();
    dropSocket();
    if (m_file.isOpen()) m_file.close();
    if (m_claimed) {
        LocalFileNames::Release(m_params.localFile);
        m_claimed = false;
    }
}

void TransferJob::onConnected()
{
    const CallbackScope scope(this);
    if (m_state != State::Connecting || !m_socket) return;
    HttpRequest request;
    request.isGet = m_params.isGet;
    request.host = m_address.host;
    request.path = m_address.path;
    request.referer = m_params.referer;
    if (m_params.extraLines) request.extraLines = m_params.extraLines(m_address.toUrl());
    request.keepConnection = m_params.keepConnection;
    if (m_params.isGet) {
        request.startRange = m_rangeStart;
        request.endRange = m_params.endRange;
    }
    if (m_tls) {
        if (!m_tls->send(request.toBytes())) {
            fail(QStringLiteral("TLS error: ") + m_tls->failure());
            return;
        }
    } else {
        m_socket->write(request.toBytes());
    }
    setState(State::ReadingHeader);
    armTimer(m_params.stallTimeoutMs);
    if (!m_startedRaised) {
        m_startedRaised = true;
        emit m_owner->Started();
    }
}

void TransferJob::onReadyRead()
{
    const CallbackScope scope(this);
    if (m_tls) {
        readSecure();
        return;
    }
    if (m_state != State::ReadingHeader && m_state != State::ReadingBody) return;
    armTimer(m_params.stallTimeoutMs);
    QPointer<TransferJob> self(this);
    // What the socket holds is taken whole: a read of exactly the one block
    // in the socket's buffer hands that block over instead of copying it.
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(m_socket->bytesAvailable());
        if (chunk.isEmpty()) break;
        if (!consume(chunk.constData(), chunk.size())) return;
    }
    if (m_state != State::ReadingBody) return;
    // One Progress per batch of received data.
    emit m_owner->Progress(m_bytesWritten, m_contentLength);
    if (!self || m_state != State::ReadingBody) return;
    if (bodyComplete()) bodyEnded();
}

bool TransferJob::consume(const char *data, qsizetype size)
{
    if (m_state == State::ReadingBody) {
        if (m_isChunked) {
            m_decoded.clear();
            if (!m_chunked.feed(data, size, m_decoded)) {
                fail(QStringLiteral("malformed chunked body: ") + m_chunked.error());
                return false;
            }
            return writeBody(m_decoded.constData(), m_decoded.size());
        }
        if (m_hasLength) {
            const qint64 rest = m_responseStart + m_responseLength - m_bytesWritten;
            if (size > rest) {
                m_bytesAfterBody = true;
                size = qsizetype(rest);
            }
        }
        return writeBody(data, size);
    }
    if (m_state != State::ReadingHeader) return false;

    // Interim answers (100 Continue and the like) precede the real one; they
    // are skipped in this loop, and their bytes count against the header cap.
    // Only the header's own bytes are gathered: the body that came with it
    // is written from data, not copied twice more through the buffer.
    ResponseHeader header;
    for (;;) {
        const qsizetype part = headerPart(m_headerBuffer, data, size);
        m_headerBuffer.append(data, part);
        data += part;
        size -= part;
        const qsizetype prefix = qMin<qsizetype>(5, m_headerBuffer.size());
        if (qstrncmp(m_headerBuffer.constData(), "HTTP/", prefix) != 0) {
            fail(QStringLiteral("the server's answer is not an HTTP response"));
            return false;
        }
        const qsizetype end = m_headerBuffer.indexOf("\r\n\r\n");
        const qsizetype taken = end < 0 ? m_headerBuffer.size() : end + 4;
        if (m_headerBytes + taken > MaxHeaderBytes) {
            fail(QStringLiteral("response header too large"));
            return false;
        }
        if (end < 0) return true;
        m_headerBytes += taken;
        header = ResponseHeader::parse(m_headerBuffer);
        m_headerBuffer.clear();
        if (!header.ok()) {
            fail(QStringLiteral("malformed response status line"));
            return false;
        }
        const int code = header.statusCode();
        if (code < 100 || code >= 200 || code == 101) break;
        if (++m_interimAnswers > MaxInterimAnswers) {
            fail(QStringLiteral("too many interim answers"));
            return false;
        }
    }
    const int status = header.statusCode();
    m_serverKeeps = header.keepsConnection();
    m_statusCode = status;
    m_retryAfter = QString::fromLatin1(header.field("Retry-After"));
    // What follows the header in data: the start of the body.
    if (isRedirect(status) && header.hasField("Location")) return followRedirect(header, size);
    if (!header.contentLengthValid()) {
        fail(QStringLiteral("invalid Content-Length"));
        return false;
    }

    QPointer<TransferJob> self(this);
    const qint64 length = header.contentLength();
    const bool success = status >= 200 && status <= 299;
    // An error answer is a failure whatever its length; only a file the
    // server does send can be too small.
    if (m_params.isGet && !success) {
        fail(QStringLiteral("HTTP status %1").arg(status));
        return false;
    }
    if (success && !header.isChunked() && length != 0 && length < m_params.minSize) {
        releaseResources();
        setState(State::TooSmall);
        emit m_owner->TooSmall();
        return false;
    }
    if (!m_params.isGet) {
        // The answer is complete: nothing the server does while the host
        // handles the header (which may wait in the event loop) can fail it.
        // Only an answer that announced its length leaves the connection
        // usable.
        handBack(size == 0 && (header.hasContentLength() || header.isChunked()));
        releaseResources();
        setState(State::Finished);
        emit m_owner->Header(status, QString::fromLatin1(header.field("Accept-Ranges")),
                             QString::fromLatin1(header.field("Content-Type")),
                             header.contentLengthText(), m_params.referer);
        if (self && m_state == State::Finished) emit m_owner->Finished();
        return false;
    }
    const bool rangeAsked = m_params.startRange != 0 || m_params.endRange != 0;
    if (rangeAsked && status != 206) {
        fail(QStringLiteral("the server did not send the requested byte range (HTTP status %1)")
                 .arg(status));
        return false;
    }

    m_contentType = QString::fromLatin1(header.field("Content-Type"));
    m_isChunked = header.isChunked();
    m_contentLength = m_isChunked ? 0 : length;
    m_hasLength = !m_isChunked && header.hasContentLength() && length >= 0;
    m_responseLength = m_hasLength ? length : 0;
    m_responseStart = m_bytesWritten;
    if (status == 204) {
        m_hasLength = true;
        m_contentLength = 0;
        m_responseLength = 0;
    }
    if (rangeAsked && !checkPartialAnswer(header, length)) return false;
    if (!openLocalFile()) return false;
    setState(State::ReadingBody);
    return size == 0 || consume(data, size);
}

bool TransferJob::followRedirect(const ResponseHeader &header, qsizetype bodyBytes)
{
    if (++m_redirects > MaxRedirects) {
        fail(QStringLiteral("too many redirects"));
        return false;
    }
    const QString location = QString::fromUtf8(header.field("Location").trimmed());
    const QUrl next = QUrl(m_address.toUrl()).resolved(QUrl(location));
    // Between http and https both ways; the hops count together.
    if (next.scheme() != QLatin1String("http") && next.scheme() != QLatin1String("https")) {
        fail(QStringLiteral("redirected to an address that is not fetched: ") + location);
        return false;
    }
    const HttpAddress address = HttpAddress::parse(next.toString(QUrl::FullyEncoded));
    if (!address.isValid()) {
        fail(address.error);
        return false;
    }
    // The connection can carry the next request when the redirect's body has
    // come whole with its header.
    handBack(!header.isChunked() && header.hasContentLength() &&
             bodyBytes == header.contentLength());
    connectTo(address);
    return false;
}

void TransferJob::onPeerClosed()
{
    const CallbackScope scope(this);
    if (!isActive()) return;
    // Data that arrived with the close is handled first. It may end the
    // transfer, or move it to a new connection (a redirect, the rest of a
    // range), whose state is then not this connection's to judge.
    if (m_socket && m_socket->bytesAvailable() > 0) {
        QPointer<TransferJob> self(this);
        const QTcpSocket *closing = m_socket;
        onReadyRead();
        if (!self || !isActive() || m_socket != closing) return;
    }
    if (retryOnNewConnection()) return;
    switch (m_state) {
    case State::Connecting:
        if (m_address.secure)
            TlsSessions::Forget(TlsSessions::Key(m_address.connectHost, m_address.port));
        fail(m_address.secure
                 ? QStringLiteral("the server %1 closed the connection during the TLS handshake")
                       .arg(m_address.host)
                 : QStringLiteral("the connection was closed"));
        break;
    case State::ReadingHeader:
        fail(m_headerBuffer.isEmpty()
                 ? QStringLiteral("the server closed the connection without an answer")
                 : QStringLiteral("the server closed the connection inside the response header"));
        break;
    case State::ReadingBody:
        if (m_isChunked)
            fail(QStringLiteral("the server closed the connection before the last chunk "
                                "(%1 bytes received)")
                     .arg(m_bytesWritten));
        else if (m_hasLength)
            fail(QStringLiteral("the server closed the connection after %1 of %2 bytes")
                     .arg(m_bytesWritten)
                     .arg(m_contentLength));
        else
            bodyEnded(); // no length announced: the close ends the body
        break;
    default:
        break;
    }
}

void TransferJob::onSocketError(QAbstractSocket::SocketError error)
{
    const CallbackScope scope(this);
    if (!isActive()) return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onPeerClosed();
        return;
    }
    if (retryOnNewConnection()) return;
    const QString text = m_socket ? m_socket->errorString() : QString();
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        fail(QStringLiteral("host not found: %1 (%2)").arg(m_address.connectHost, text));
        break;
    case QAbstractSocket::ConnectionRefusedError:
        fail(QStringLiteral("connection refused by %1 (%2)").arg(m_address.host, text));
        break;
    default:
        if (m_address.secure && m_state == State::Connecting) {
            TlsSessions::Forget(TlsSessions::Key(m_address.connectHost, m_address.port));
            fail(tlsFailure(text));
            break;
        }
        fail(QStringLiteral("connection error: ") + text);
        break;
    }
}

void TransferJob::armTimer(int ms)
{
    // Most calls (one per read) only move the deadline: the timer is started
    // when it is idle or due after the new deadline; when it fires before a
    // deadline that moved meanwhile, it waits for the rest (onTimeout).
    m_deadline.setRemainingTime(ms);
    if (m_timer.isActive() && m_timerDue.deadlineNSecs() <= m_deadline.deadlineNSecs()) return;
    m_timer.start(ms);
    m_timerDue = m_deadline;
}

void TransferJob::onTimeout()
{
    const CallbackScope scope(this);
    const qint64 left = m_deadline.remainingTime();
    if (left > 0 && isActive()) {
        m_timer.start(int(left));
        m_timerDue = m_deadline;
        return;
    }
    if (m_state == State::Connecting)
        fail(QStringLiteral("no connection within %1").arg(seconds(m_params.connectTimeoutMs)));
    else if (isActive())
        fail(QStringLiteral("no data for %1").arg(seconds(m_params.stallTimeoutMs)));
}

void TransferJob::finish()
{
    releaseResources();
    setState(State::Finished);
    emit m_owner->Finished();
}

void TransferJob::fail(const QString &reason)
{
    if (m_state == State::Failed || m_state == State::Stopped || m_state == State::Finished ||
        m_state == State::TooSmall)
        return;
    releaseResources();
    setState(State::Failed);
    // Raised from the event loop: the failure may be found inside a call of the
    // host (StartDownload, or a redirect inside a read), which must not be
    // re-entered by its own event. A transfer stopped or superseded before
    // then raises nothing.
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            const CallbackScope scope(this);
            if (m_state == State::Failed) emit m_owner->Failed(reason);
        },
        Qt::QueuedConnection);
}
