#include "tlslink.h"

#include "tlssessions.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace
{

// Plain bytes taken from OpenSSL per call.
constexpr int PlainBlock = 64 * 1024;

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
    BIO *in = BIO_new(BIO_s_mem());
    BIO *out = BIO_new(BIO_s_mem());
    // An empty input buffer means "wait for more", never the end.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(m_ssl, in, out);
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
    const QByteArray raw = m_socket->readAll();
    if (!raw.isEmpty()) BIO_write(SSL_get_rbio(m_ssl), raw.constData(), int(raw.size()));
    if (!m_handshakeDone) {
        ERR_clear_error();
        const int r = SSL_do_handshake(m_ssl);
        if (r != 1) {
            const int e = SSL_get_error(m_ssl, r);
            flush();
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return true;
            return failWith(lastError("the handshake failed"));
        }
        m_handshakeDone = true;
        flush();
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
    for (;;) {
        const qsizetype at = plain.size();
        plain.resize(at + PlainBlock);
        ERR_clear_error();
        const int n = SSL_read(m_ssl, plain.data() + at, PlainBlock);
        plain.resize(at + qMax(0, n));
        if (n > 0) continue;
        const int e = SSL_get_error(m_ssl, n);
        if (e == SSL_ERROR_WANT_READ) break;
        if (e == SSL_ERROR_ZERO_RETURN) {
            m_peerClosed = true;
            break;
        }
        flush();
        return failWith(lastError("TLS read error"));
    }
    flush();
    return true;
}

bool TlsLink::send(const QByteArray &plain)
{
    if (m_failed || !m_handshakeDone) return false;
    ERR_clear_error();
    if (!plain.isEmpty() && SSL_write(m_ssl, plain.constData(), int(plain.size())) <= 0)
        return failWith(lastError("TLS write error"));
    flush();
    return true;
}

void TlsLink::flush()
{
    BIO *out = SSL_get_wbio(m_ssl);
    char *data = nullptr;
    const long n = BIO_get_mem_data(out, &data);
    if (n <= 0) return;
    m_socket->write(data, n);
    (void)BIO_reset(out);
}
