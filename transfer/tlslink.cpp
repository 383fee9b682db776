#include "tlslink.h"

#include "tlssessions.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace
{

// The most plain bytes one TLS record carries, taken from OpenSSL per call.
constexpr int RecordBytes = 16 * 1024;

// OpenSSL reads from and writes to the QTcpSocket itself: no bytes are
// copied through memory buffers on the way. An empty socket means "wait for
// more", never the end; what is written goes into the socket's buffer (the
// event loop sends it), whatever the socket's state, as before.
int socketRead(BIO *bio, char *data, int size)
{
    BIO_clear_retry_flags(bio);
    auto *socket = static_cast<QTcpSocket *>(BIO_get_data(bio));
    const qint64 n = socket->bytesAvailable() > 0 ? socket->read(data, size) : 0;
    if (n > 0) return int(n);
    BIO_set_retry_read(bio);
    return -1;
}

int socketWrite(BIO *bio, const char *data, int size)
{
    BIO_clear_retry_flags(bio);
    static_cast<QTcpSocket *>(BIO_get_data(bio))->write(data, size);
    return size;
}

long socketControl(BIO *, int command, long, void *)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD *socketMethod()
{
    static BIO_METHOD *const method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "QTcpSocket");
        BIO_meth_set_read(m, socketRead);
        BIO_meth_set_write(m, socketWrite);
        BIO_meth_set_ctrl(m, socketControl);
        return m;
    }();
    return method;
}

// OpenSSL's words for the last error of this thread, or fallback.
QString lastError(const char *fallback)
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0) return QString::fromLatin1(fallback);
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

TlsLink::TlsLink(QTcpSocket *socket, const QString &connectHost, quint16 port)
    : QObject(socket), m_socket(socket), m_key(TlsSessions::Key(connectHost, port))
{
    m_ssl = SSL_new(TlsSessions::Context());
    BIO *bio = BIO_new(socketMethod());
    BIO_set_data(bio, socket);
    BIO_set_init(bio, 1);
    SSL_set_bio(m_ssl, bio, bio);
    SSL_set_connect_state(m_ssl);
    SSL_set_ex_data(m_ssl, TlsSessions::LinkIndex(), this);
    // The certificate must name what was connected to: an address by its IP
    // entries, a name by its DNS entries (the name also picks the server's
    // certificate).
    const QByteArray name = connectHost.toLatin1();
    if (QHostAddress(connectHost).isNull()) {
        SSL_set_tlsext_host_name(m_ssl, name.constData());
        SSL_set1_host(m_ssl, name.constData());
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), name.constData());
    }
    TlsSessions::Offer(m_ssl, m_key);
}

TlsLink::~TlsLink()
{
    // Connections end without a TLS shutdown (the answer has ended, or the
    // transfer was stopped); OpenSSL would mark their session, which others
    // share, as not resumable.
    SSL_set_shutdown(m_ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    SSL_free(m_ssl);
}

TlsLink *TlsLink::Of(const QTcpSocket *socket)
{
    return socket ? socket->findChild<TlsLink *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool TlsLink::resumed() const
{
    return SSL_session_reused(m_ssl) == 1;
}

void TlsLink::noteRefusal(int verifyError)
{
    const QString text = TlsSessions::DescribeVerifyError(verifyError);
    if (!m_refusals.contains(text)) m_refusals.append(text);
}

void TlsLink::startHandshake()
{
    QByteArray none;
    takeFromSocket(none);
}

bool TlsLink::failWith(const QString &text)
{
    m_failed = true;
    m_failure = text;
    return false;
}

bool TlsLink::takeFromSocket(QByteArray &plain)
{
    if (m_failed) return false;
    if (!m_handshakeDone) {
        ERR_clear_error();
        const int r = SSL_do_handshake(m_ssl);
        if (r != 1) {
            const int e = SSL_get_error(m_ssl, r);
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return true;
            return failWith(lastError("the handshake failed"));
        }
        m_handshakeDone = true;
        // Every problem of the chain, its dates and its name was noted on
        // the way; any one of them refuses the server. A resumed session
        // carries the result of its first, full verification.
        X509 *peer = SSL_get1_peer_certificate(m_ssl);
        const bool verified = peer && SSL_get_verify_result(m_ssl) == X509_V_OK;
        X509_free(peer);
        if (!peer) noteRefusal(X509_V_ERR_UNSPECIFIED);
        if (!m_refusals.isEmpty() || !verified) {
            if (m_refusals.isEmpty()) noteRefusal(int(SSL_get_verify_result(m_ssl)));
            return failWith(QStringLiteral("certificate refused"));
        }
    }
    // The plain bytes are at most the encrypted ones: one allocation holds
    // them all, and the last call's room.
    plain.reserve(plain.size() + m_socket->bytesAvailable() + SSL_pending(m_ssl) + RecordBytes);
    for (;;) {
        const qsizetype at = plain.size();
        plain.resize(at + RecordBytes);
        ERR_clear_error();
        const int n = SSL_read(m_ssl, plain.data() + at, RecordBytes);
        plain.resize(at + qMax(0, n));
        if (n > 0) continue;
        const int e = SSL_get_error(m_ssl, n);
        if (e == SSL_ERROR_WANT_READ) break;
        if (e == SSL_ERROR_ZERO_RETURN) {
            m_peerClosed = true;
            break;
        }
        return failWith(lastError("TLS read error"));
    }
    return true;
}

bool TlsLink::send(const QByteArray &plain)
{
    if (m_failed || !m_handshakeDone) return false;
    ERR_clear_error();
    if (!plain.isEmpty() && SSL_write(m_ssl, plain.constData(), int(plain.size())) <= 0)
        return failWith(lastError("TLS write error"));
    return true;
}
