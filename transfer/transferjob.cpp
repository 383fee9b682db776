#include "transferjob.h"

#include "httprequest.h"
#include "localfilenames.h"
#include "quarvel.h"
#include "tlssessions.h"

#include <QNetworkProxy>
#include <QScopeGuard>
#include <QSslSocket>
#include <QTcpSocket>
#include <QUrl>

namespace
{

// The header must end within this many bytes.
constexpr qsizetype MaxHeaderBytes = 64 * 1024;
// Bytes taken from the socket per read.
constexpr qsizetype ReadBlock = 256 * 1024;
constexpr int MaxRedirects = 5;
// More interim (1xx) answers than this before the real one fail the transfer.
constexpr int MaxInterimAnswers = 20;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
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

void TransferJob::connectTo(const HttpAddress &address)
{
    dropSocket();
    m_address = address;
    m_headerBuffer.clear();
    m_headerBytes = 0;
    m_interimAnswers = 0;
    setState(State::Connecting);

    m_sslErrors.clear();
    // A secure address gets a TLS socket: the request goes out once the
    // handshake is done and the server's certificate has been verified.
    QSslSocket *secure = address.secure ? new QSslSocket(this) : nullptr;
    QTcpSocket *socket = secure ? secure : new QTcpSocket(this);
    m_socket = socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    if (secure) {
        m_narrowedTrust = TlsSessions::Prepare(*secure, address.connectHost, address.port);
        connect(secure, &QSslSocket::encrypted, this, &TransferJob::onConnected);
        connect(secure, &QSslSocket::sslErrors, this,
                [this](const QList<QSslError> &errors) { m_sslErrors = errors; });
        // Servers may send their session tickets after the handshake.
        connect(secure, &QSslSocket::newSessionTicketReceived, this, [this, secure] {
            TlsSessions::Keep(*secure, m_address.connectHost, m_address.port);
        });
        connect(secure, &QSslSocket::readyRead, this, &TransferJob::onSecureReadyRead);
    } else {
        connect(socket, &QTcpSocket::connected, this, &TransferJob::onConnected);
        connect(socket, &QTcpSocket::readyRead, this, &TransferJob::onReadyRead);
    }
    connect(socket, &QTcpSocket::disconnected, this, &TransferJob::onPeerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &TransferJob::onSocketError);
    m_timer.start(m_params.connectTimeoutMs);
    if (secure)
        // The name is sent for server name indication and verified against
        // the certificate.
        secure->connectToHostEncrypted(address.connectHost, address.port);
    else
        socket->connectToHost(address.connectHost, address.port);
}

void TransferJob::dropSocket()
{
    if (!m_socket) return;
    // A local abort makes the socket report disconnected(); it must not look
    // like the server closing, so nothing of the socket reaches us any more.
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    // The socket may be inside one of its own signals further down the stack,
    // and this may run in a nested event loop that would carry out a
    // deleteLater at once: it is handed over once our calls have unwound.
    if (m_callbackDepth > 0)
        m_parkedSockets.append(socket);
    else
        socket->deleteLater();
}

void TransferJob::retire()
{
    stop();
    m_retired = true;
    if (m_callbackDepth == 0) deleteLater();
}

TransferJob::CallbackScope::CallbackScope(TransferJob *job) : m_job(job)
{
    ++m_job->m_callbackDepth;
}

TransferJob::CallbackScope::~CallbackScope()
{
    if (--m_job->m_callbackDepth > 0) return;
    // The outermost call is ending, at the event-loop level that called it:
    // what was dropped meanwhile can now be deleted safely from there.
    for (QTcpSocket *socket : std::as_const(m_job->m_parkedSockets))
        socket->deleteLater();
    m_job->m_parkedSockets.clear();
    if (m_job->m_retired) m_job->deleteLater();
}

void TransferJob::releaseResources()
{
    m_readBuffer = QByteArray();
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
    if (m_address.secure)
        TlsSessions::Keep(*static_cast<QSslSocket *>(m_socket.data()), m_address.connectHost,
                          m_address.port);
    HttpRequest request;
    request.isGet = m_params.isGet;
    request.host = m_address.host;
    request.path = m_address.path;
    request.referer = m_params.referer;
    if (m_params.isGet) {
        request.startRange = m_rangeStart;
        request.endRange = m_params.endRange;
    }
    m_socket->write(request.toBytes());
    setState(State::ReadingHeader);
    m_timer.start(m_params.stallTimeoutMs);
    if (!m_startedRaised) {
        m_startedRaised = true;
        emit m_owner->Started();
    }
}

void TransferJob::onReadyRead()
{
    const CallbackScope scope(this);
    if (m_state != State::ReadingHeader && m_state != State::ReadingBody) return;
    m_timer.start(m_params.stallTimeoutMs);
    QPointer<TransferJob> self(this);
    // The read block is lent to this call and given back only while the
    // transfer goes on, so an ended transfer holds no buffer.
    QByteArray block;
    block.swap(m_readBuffer);
    if (block.size() < ReadBlock) block.resize(ReadBlock);
    auto giveBack = qScopeGuard([&] {
        if (self && isActive()) m_readBuffer.swap(block);
    });
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const qint64 n = m_socket->read(block.data(), block.size());
        if (n <= 0) break;
        if (!consume(block.constData(), qsizetype(n))) return;
    }
    if (m_state != State::ReadingBody) return;
    // One Progress per batch of received data.
    emit m_owner->Progress(m_bytesWritten, m_contentLength);
    if (!self || m_state != State::ReadingBody) return;
    if (bodyComplete()) bodyEnded();
}

void TransferJob::onSecureReadyRead()
{
    // The TLS socket reports every 4 KiB it decrypts, many times within one
    // batch of received data. The batch is handled in one go once the socket
    // has decrypted all of it: one read loop, one file write and one
    // Progress, as for a plain socket.
    if (m_secureReadPending) return;
    m_secureReadPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_secureReadPending = false;
            // The close of the connection may have handled the data already.
            if (m_socket && m_socket->bytesAvailable() > 0) onReadyRead();
        },
        Qt::QueuedConnection);
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
        if (m_hasLength)
            size =
                qsizetype(qMin<qint64>(size, m_responseStart + m_responseLength - m_bytesWritten));
        return writeBody(data, size);
    }
    if (m_state != State::ReadingHeader) return false;

    m_headerBuffer.append(data, size);
    // Interim answers (100 Continue and the like) precede the real one; they
    // are skipped in this loop, and their bytes count against the header cap.
    ResponseHeader header;
    for (;;) {
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
        header = ResponseHeader::parse(m_headerBuffer.left(taken));
        m_headerBuffer.remove(0, taken);
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
    QByteArray leftover;
    leftover.swap(m_headerBuffer);
    const int status = header.statusCode();
    m_statusCode = status;
    m_retryAfter = QString::fromLatin1(header.field("Retry-After"));
    if (isRedirect(status) && header.hasField("Location")) return followRedirect(header);
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
    return leftover.isEmpty() || consume(leftover.constData(), leftover.size());
}

bool TransferJob::followRedirect(const ResponseHeader &header)
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
    switch (m_state) {
    case State::Connecting:
        if (m_address.secure) TlsSessions::Forget(m_address.connectHost, m_address.port);
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
            TlsSessions::Forget(m_address.connectHost, m_address.port);
            // Refused by the store that verified this server before: once
            // more against the whole store before the refusal counts.
            if (m_narrowedTrust && !m_sslErrors.isEmpty()) {
                connectTo(m_address);
                break;
            }
            fail(tlsFailure(text));
            break;
        }
        fail(QStringLiteral("connection error: ") + text);
        break;
    }
}

QString TransferJob::tlsFailure(const QString &socketText) const
{
    if (!m_sslErrors.isEmpty())
        return QStringLiteral("the certificate of %1 was refused: %2")
            .arg(m_address.host, TlsSessions::DescribeErrors(m_sslErrors));
    // OpenSSL's words for an answer that is no TLS record at all.
    if (socketText.contains(QLatin1String("wrong version number")) ||
        socketText.contains(QLatin1String("packet length too long")) ||
        socketText.contains(QLatin1String("http request")))
        return QStringLiteral("%1 does not speak TLS on port %2 (%3)")
            .arg(m_address.connectHost)
            .arg(m_address.port)
            .arg(socketText);
    return QStringLiteral("TLS handshake with %1 failed: %2").arg(m_address.host, socketText);
}

void TransferJob::onTimeout()
{
    const CallbackScope scope(this);
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
