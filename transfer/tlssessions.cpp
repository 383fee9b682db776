#include "tlssessions.h"

#include "tlslink.h"

#include <QFile>
#include <QHash>
#include <QList>

#include <cstdlib>

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace
{

struct Shared {
    SSL_CTX *context = nullptr;
    int linkIndex = -1;
    QList<X509 *> added;                    // trusted besides the system's
    QHash<QString, SSL_SESSION *> sessions; // "host:port" -> last session
};

Shared &shared()
{
    // Lives as long as the process and is never destroyed: OpenSSL's own
    // clean-up at exit may run before a static's destructor could free the
    // context and sessions, and freeing them after it is not allowed.
    static Shared *s = new Shared;
    return *s;
}

TlsLink *linkOf(SSL *ssl)
{
    return ssl ? static_cast<TlsLink *>(SSL_get_ex_data(ssl, shared().linkIndex)) : nullptr;
}

// Notes every problem of the server's chain on its connection and goes on,
// so that a refusal names all of them; the connection refuses the server
// once the handshake is done, before a byte of the request is sent.
int verifyCallback(int ok, X509_STORE_CTX *store)
{
    if (ok) return 1;
    auto *ssl =
        static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    TlsLink *link = linkOf(ssl);
    if (!link) return 0;
    link->noteRefusal(X509_STORE_CTX_get_error(store));
    return 1;
}

// The server issued a session (after the handshake, or later in TLS 1.3):
// kept for the server unless its certificate was refused.
int newSession(SSL *ssl, SSL_SESSION *session)
{
    TlsLink *link = linkOf(ssl);
    if (!link || !link->acceptsSessions() || !SSL_SESSION_is_resumable(session)) return 0;
    // A copy: OpenSSL marks the connection's own session as not resumable
    // when the connection ends without a TLS shutdown, which ours (closed
    // after the answer, or kept) do.
    SSL_SESSION *copy = SSL_SESSION_dup(session);
    if (!copy) return 0;
    SSL_SESSION *&kept = shared().sessions[link->serverKey()];
    if (kept) SSL_SESSION_free(kept);
    kept = copy;
    return 0;
}

} // namespace

namespace TlsSessions
{

SSL_CTX *Context()
{
    Shared &s = shared();
    if (s.context) return s.context;
    s.linkIndex = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    SSL_CTX *c = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    // The system's certificates, looked up in its folder (by their hashed
    // names) when a chain needs them, and the added ones. The folder holds
    // the same certificates as the system's bundle file, which OpenSSL's
    // default paths would parse whole at the first secure connection (22 ms).
    // SSL_CERT_DIR and SSL_CERT_FILE count as they do for those defaults.
    X509_STORE *store = SSL_CTX_get_cert_store(c);
    const char *dir = std::getenv(X509_get_default_cert_dir_env());
    X509_STORE_load_path(store, dir ? dir : X509_get_default_cert_dir());
    if (const char *bundle = std::getenv(X509_get_default_cert_file_env()))
        X509_STORE_load_file(store, bundle);
    for (X509 *certificate : std::as_const(s.added))
        X509_STORE_add_cert(store, certificate);
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER, verifyCallback);
    SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(c, newSession);
    s.context = c;
    return c;
}

int LinkIndex()
{
    Context();
    return shared().linkIndex;
}

int AddTrustedCertificates(const QString &pemFile)
{
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray pem = file.readAll();
    BIO *in = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    Shared &s = shared();
    int added = 0;
    while (X509 *certificate = PEM_read_bio_X509(in, nullptr, nullptr, nullptr)) {
        bool known = false;
        for (X509 *other : std::as_const(s.added))
            known = known || X509_cmp(other, certificate) == 0;
        if (known) {
            X509_free(certificate);
            continue;
        }
        s.added.append(certificate);
        if (s.context) X509_STORE_add_cert(SSL_CTX_get_cert_store(s.context), certificate);
        ++added;
    }
    BIO_free(in);
    return added;
}

QString Key(const QString &connectHost, quint16 port)
{
    return connectHost.toLower() + QLatin1Char(':') + QString::number(port);
}

void Offer(SSL *ssl, const QString &key)
{
    if (SSL_SESSION *session = shared().sessions.value(key)) SSL_set_session(ssl, session);
}

void Forget(const QString &key)
{
    if (SSL_SESSION *session = shared().sessions.take(key)) SSL_SESSION_free(session);
}

bool HasSession(const QString &key)
{
    return shared().sessions.contains(key);
}

QString DescribeVerifyError(int verifyError)
{
    switch (verifyError) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("certificate expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("certificate not yet valid");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("host name mismatch");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return QStringLiteral("self-signed certificate");
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return QStringLiteral("certificate from an untrusted authority");
    case X509_V_ERR_CERT_REVOKED:
        return QStringLiteral("certificate revoked");
    case X509_V_ERR_UNSPECIFIED:
        return QStringLiteral("the server sent no certificate");
    default:
        return QString::fromLatin1(X509_verify_cert_error_string(verifyError));
    }
}

} // namespace TlsSessions
