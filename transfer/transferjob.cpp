#include "transferjob.h"

#include "httprequest.h"
#include "localfilenames.h"
#include "quarvel.h"

#include <QNetworkProxy>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QUrl>

namespace
{
// Counts the calls of this job that are on the stack, so that its owner knows
// whether it may delete the job at once.
struct CallbackScope {
    explicit CallbackScope(int &depth) : m_depth(depth) { ++m_depth; }
    ~CallbackScope() { --m_depth; }
    int &m_depth;
};

// The header must end within this many bytes.
constexpr qsizetype MaxHeaderBytes = 64 * 1024;
// Bytes taken from the socket per read.
constexpr qsizetype ReadBlock = 256 * 1024;
constexpr int MaxRedirects = 5;

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
    : m_owner(owner), m_params(params)
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
    setState(State::Connecting);

    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    connect(socket, &QTcpSocket::connected, this, &TransferJob::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &TransferJob::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &TransferJob::onPeerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &TransferJob::onSocketError);
    m_timer.start(m_params.connectTimeoutMs);
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
    socket->deleteLater();
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
    const CallbackScope scope(m_callbackDepth);
    if (m_state != State::Connecting || !m_socket) return;
    HttpRequest request;
    request.isGet = m_params.isGet;
    request.host = m_address.host;
    request.path = m_address.path;
    request.referer = m_params.referer;
    if (m_params.isGet) {
        request.startRange = m_params.startRange;
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
    const CallbackScope scope(m_callbackDepth);
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
    if (bodyComplete()) finish();
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
        if (m_hasLength) size = qsizetype(qMin<qint64>(size, m_contentLength - m_bytesWritten));
        return writeBody(data, size);
    }
    if (m_state != State::ReadingHeader) return false;

    m_headerBuffer.append(data, size);
    const qsizetype prefix = qMin<qsizetype>(5, m_headerBuffer.size());
    if (qstrncmp(m_headerBuffer.constData(), "HTTP/", prefix) != 0) {
        fail(QStringLiteral("the server's answer is not an HTTP response"));
        return false;
    }
    const qsizetype end = m_headerBuffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_headerBuffer.size() > MaxHeaderBytes) {
            fail(QStringLiteral("response header too large"));
            return false;
        }
        return true;
    }
    const QByteArray block = m_headerBuffer.left(end + 4);
    QByteArray leftover = m_headerBuffer.mid(end + 4);
    m_headerBuffer.clear();
    const ResponseHeader header = ResponseHeader::parse(block);
    if (!header.ok()) {
        fail(QStringLiteral("malformed response status line"));
        return false;
    }
    const int status = header.statusCode();
    // Interim answers (100 Continue and the like) precede the real one.
    if (status >= 100 && status < 200 && status != 101)
        return leftover.isEmpty() || consume(leftover.constData(), leftover.size());
    if (isRedirect(status) && header.hasField("Location")) return followRedirect(header);

    QPointer<TransferJob> self(this);
    const qint64 length = header.contentLength();
    if (!header.isChunked() && length != 0 && length < m_params.minSize) {
        releaseResources();
        setState(State::TooSmall);
        emit m_owner->TooSmall();
        return false;
    }
    if (!m_params.isGet) {
        emit m_owner->Header(status, QString::fromLatin1(header.field("Accept-Ranges")),
                             QString::fromLatin1(header.field("Content-Type")),
                             header.contentLengthText(), m_params.referer);
        if (self && m_state == State::ReadingHeader) finish();
        return false;
    }
    if (status < 200 || status > 299) {
        fail(QStringLiteral("HTTP status %1").arg(status));
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
    if (status == 204) {
        m_hasLength = true;
        m_contentLength = 0;
    }
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
    if (next.scheme() != QLatin1String("http")) {
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

bool TransferJob::openLocalFile()
{
    m_file.setFileName(m_params.localFile);
    // Unbuffered: every Progress reports bytes that are already in the file.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        fail(QStringLiteral("cannot open the local file %1: %2")
                 .arg(m_params.localFile, m_file.errorString()));
        return false;
    }
    return true;
}

bool TransferJob::writeBody(const char *data, qsizetype size)
{
    if (size <= 0) return true;
    if (m_file.write(data, size) != size) {
        fail(QStringLiteral("cannot write the local file %1: %2")
                 .arg(m_params.localFile, m_file.errorString()));
        return false;
    }
    m_bytesWritten += size;
    return true;
}

bool TransferJob::bodyComplete() const
{
    if (m_isChunked) return m_chunked.isDone();
    return m_hasLength && m_bytesWritten >= m_contentLength;
}

void TransferJob::onPeerClosed()
{
    const CallbackScope scope(m_callbackDepth);
    if (!isActive()) return;
    // Data that arrived with the close is handled first.
    if (m_socket && m_socket->bytesAvailable() > 0) {
        QPointer<TransferJob> self(this);
        onReadyRead();
        if (!self || !isActive()) return;
    }
    switch (m_state) {
    case State::Connecting:
        fail(QStringLiteral("the connection was closed"));
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
            finish(); // no length announced: the close ends the body
        break;
    default:
        break;
    }
}

void TransferJob::onSocketError(QAbstractSocket::SocketError error)
{
    const CallbackScope scope(m_callbackDepth);
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
        fail(QStringLiteral("connection error: ") + text);
        break;
    }
}

void TransferJob::onTimeout()
{
    const CallbackScope scope(m_callbackDepth);
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
            const CallbackScope scope(m_callbackDepth);
            if (m_state == State::Failed) emit m_owner->Failed(reason);
        },
        Qt::QueuedConnection);
}
