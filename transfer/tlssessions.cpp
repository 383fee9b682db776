#include "tlssessions.h"

#include <QFile>
#include <QHash>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

namespace
{

struct Shared {
    QList<QSslCertificate> added;
    // The configuration every secure socket starts from; rebuilt when
    // certificates are added.
    QSslConfiguration base;
    bool baseReady = false;
    QHash<QString, QByteArray> sessions; // "host:port" -> serialized session
};

Shared &shared()
{
    static Shared s;
    return s;
}

QString key(const QString &host, quint16 port)
{
    return host.toLower() + QLatin1Char(':') + QString::number(port);
}

const QSslConfiguration &base()
{
    Shared &s = shared();
    if (!s.baseReady) {
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        c.setPeerVerifyMode(QSslSocket::VerifyPeer);
        // Sessions are taken out of the socket and offered to the next one.
        c.setSslOption(QSsl::SslOptionDisableSessionTickets, false);
        c.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
        // Setting a list ends the system's on-demand loading, so the list
        // names the system's certificates too.
        if (!s.added.isEmpty())
            c.setCaCertificates(QSslConfiguration::systemCaCertificates() + s.added);
        s.base = c;
        s.baseReady = true;
    }
    return s.base;
}

} // namespace

namespace TlsSessions
{

int AddTrustedCertificates(const QString &pemFile)
{
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QList<QSslCertificate> read = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    Shared &s = shared();
    int added = 0;
    for (const QSslCertificate &c : read) {
        if (c.isNull() || s.added.contains(c)) continue;
        s.added.append(c);
        ++added;
    }
    if (added > 0) s.baseReady = false;
    return added;
}

void Prepare(QSslSocket &socket, const QString &connectHost, quint16 port)
{
    QSslConfiguration c = base();
    const QByteArray session = shared().sessions.value(key(connectHost, port));
    if (!session.isEmpty()) c.setSessionTicket(session);
    socket.setSslConfiguration(c);
}

void Keep(const QSslSocket &socket, const QString &connectHost, quint16 port)
{
    const QByteArray session = socket.sslConfiguration().sessionTicket();
    if (!session.isEmpty()) shared().sessions.insert(key(connectHost, port), session);
}

void Forget(const QString &connectHost, quint16 port)
{
    shared().sessions.remove(key(connectHost, port));
}

bool HasSession(const QString &connectHost, quint16 port)
{
    return shared().sessions.contains(key(connectHost, port));
}

QString DescribeErrors(const QList<QSslError> &errors)
{
    QStringList parts;
    for (const QSslError &e : errors) {
        QString text;
        switch (e.error()) {
        case QSslError::CertificateExpired:
            text = QStringLiteral("certificate expired");
            break;
        case QSslError::CertificateNotYetValid:
            text = QStringLiteral("certificate not yet valid");
            break;
        case QSslError::HostNameMismatch:
            text = QStringLiteral("host name mismatch");
            break;
        case QSslError::SelfSignedCertificate:
            text = QStringLiteral("self-signed certificate");
            break;
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
            text = QStringLiteral("certificate from an untrusted authority");
            break;
        case QSslError::CertificateRevoked:
            text = QStringLiteral("certificate revoked");
            break;
        case QSslError::NoPeerCertificate:
            text = QStringLiteral("the server sent no certificate");
            break;
        default:
            text = e.errorString();
            break;
        }
        if (!parts.contains(text)) parts.append(text);
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace TlsSessions
