#include "tlssessions.h"

#include <QFile>
#include <QHash>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

namespace
{

// Which store verified a server's chain last time.
enum class Anchor { Unknown, Added, System };

struct Shared {
    QList<QSslCertificate> added;
    // The configurations secure sockets start from, by the store they verify
    // against: the system's and the added certificates, only the added ones,
    // only the system's (loaded on demand, the cheapest). Rebuilt when
    // certificates are added.
    QSslConfiguration full;
    QSslConfiguration addedOnly;
    QSslConfiguration systemOnly;
    bool ready = false;
    QHash<QString, QByteArray> sessions; // "host:port" -> serialized session
    QHash<QString, Anchor> anchors;      // "host:port" -> store that verified it
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

void makeConfigurations()
{
    Shared &s = shared();
    if (s.ready) return;
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // Sessions are taken out of the socket and offered to the next one.
    c.setSslOption(QSsl::SslOptionDisableSessionTickets, false);
    c.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    s.systemOnly = c;
    s.full = c;
    s.addedOnly = c;
    if (!s.added.isEmpty()) {
        // Setting a list ends the system's on-demand loading, so the full
        // list names the system's certificates too.
        s.full.setCaCertificates(QSslConfiguration::systemCaCertificates() + s.added);
        s.addedOnly.setCaCertificates(s.added);
    }
    s.ready = true;
}

// True when certificate was issued by authority (or is it).
bool issuedBy(const QSslCertificate &certificate, const QSslCertificate &authority)
{
    if (certificate == authority) return true;
    const QList<QByteArray> names = authority.subjectInfoAttributes();
    if (names.isEmpty() || names.size() != certificate.issuerInfoAttributes().size()) return false;
    for (const QByteArray &name : names)
        if (certificate.issuerInfo(name) != authority.subjectInfo(name)) return false;
    return true;
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
    if (added > 0) {
        s.ready = false;
        s.anchors.clear();
    }
    return added;
}

bool Prepare(QSslSocket &socket, const QString &connectHost, quint16 port)
{
    makeConfigurations();
    Shared &s = shared();
    const QString k = key(connectHost, port);
    // Building a store of every system certificate costs more than the rest
    // of a resumed handshake: a server verified before gets the store that
    // verified it.
    const Anchor anchor = s.added.isEmpty() ? Anchor::System : s.anchors.value(k);
    QSslConfiguration c = anchor == Anchor::Added    ? s.addedOnly
                          : anchor == Anchor::System ? s.systemOnly
                                                     : s.full;
    const QByteArray session = s.sessions.value(k);
    if (!session.isEmpty()) c.setSessionTicket(session);
    socket.setSslConfiguration(c);
    return !s.added.isEmpty() && anchor != Anchor::Unknown;
}

void Keep(const QSslSocket &socket, const QString &connectHost, quint16 port)
{
    Shared &s = shared();
    const QString k = key(connectHost, port);
    const QByteArray session = socket.sslConfiguration().sessionTicket();
    if (!session.isEmpty()) s.sessions.insert(k, session);
    if (s.added.isEmpty() || s.anchors.contains(k)) return;
    Anchor anchor = Anchor::System;
    for (const QSslCertificate &c : socket.peerCertificateChain())
        for (const QSslCertificate &a : std::as_const(s.added))
            if (issuedBy(c, a)) anchor = Anchor::Added;
    s.anchors.insert(k, anchor);
}

void Forget(const QString &connectHost, quint16 port)
{
    const QString k = key(connectHost, port);
    shared().sessions.remove(k);
    shared().anchors.remove(k);
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
